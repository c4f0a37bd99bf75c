#include "bench/windowbench.h"

namespace bench
{

WindowBenchApplication::Environment::Environment(const QTemporaryDir &configHome)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    // Qt's plain Unix event dispatcher, on which the program itself runs.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

WindowBenchApplication::WindowBenchApplication(int &argc, char **argv)
    : m_environment(m_configHome), m_application(argc, argv)
{
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace bench
