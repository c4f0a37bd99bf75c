#include "app/commandline.h"
#include "app/form1.h"
#include "app/language.h"
#include "serial/systemcomm.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine =
        parseCommandLine(arguments, QProcessEnvironment::systemEnvironment());
    switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::Fail:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stderr);
        return kUsageExitStatus;
    case CommandLine::Action::Run:
        break;
    }
    if (!commandLine.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", commandLine.platform.toLocal8Bit());

    // Qt's plain Unix event dispatcher runs a timer that fell due ahead of queued repaints, so in
    // continuous sending the next exchange starts right after the previous one has ended.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wirelark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Wirelark"));
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.wirelark.Wirelark"));
    if (!installTranslation(commandLine.language)) {
        std::fputs("wirelark: the English translation is missing from this build\n", stderr);
        return 1;
    }

    Form1 window({serial::createSystemComm(), &serial::scanSystemPorts});
    window.show();
    return app.exec();
}
