#pragma once

#include <QApplication>
#include <QTemporaryDir>

namespace bench
{

// The process of a benchmark that runs the window: Qt's offscreen platform unless
// QT_QPA_PLATFORM names one, the program's own event dispatcher, a private port directory under
// a new configuration home (the window finds there only the links a benchmark makes), and an
// application that outlives its windows.
class WindowBenchApplication
{
public:
    WindowBenchApplication(int &argc, char **argv);

    // The configuration home: where wirelark-slave is to link its port.
    QString configHome() const { return m_configHome.path(); }

private:
    // Sets the environment that the application reads as it starts.
    struct Environment {
        explicit Environment(const QTemporaryDir &configHome);
    };

    QTemporaryDir m_configHome;
    Environment m_environment;
    QApplication m_application;
};

} // namespace bench
