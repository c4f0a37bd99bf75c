#include "app/commandline.h"
#include "app/form1.h"
#include "app/language.h"
#include "capture/exchangecapture.h"
#include "serial/systemcomm.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QTimer>
#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine =
        parseCommandLine(arguments, QProcessEnvironment::systemEnvironment());
    if (commandLine.action != CommandLine::Action::Run)
        return console::finish(commandLine);
    if (!commandLine.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", commandLine.platform.toLocal8Bit());

    std::unique_ptr<capture::ExchangeCapture> recorder;
    if (commandLine.capturePath) {
        QString error;
        std::unique_ptr<capture::CaptureWriter> writer =
            capture::CaptureWriter::open(*commandLine.capturePath, &error);
        if (!writer) {
            std::fprintf(stderr, "wirelark: %s\n", error.toLocal8Bit().constData());
            return console::kUsageExitStatus;
        }
        recorder = std::make_unique<capture::ExchangeCapture>(std::move(writer));
    }

    // Qt's plain Unix event dispatcher runs a timer that fell due ahead of queued repaints, so in
    // continuous sending the next exchange starts right after the previous one has ended.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wirelark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Wirelark"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.wirelark.Wirelark"));
    if (!installTranslation(commandLine.language)) {
        std::fputs("wirelark: the English translation is missing from this build\n", stderr);
        return 1;
    }

    Form1 window({serial::createSystemComm(), &serial::scanSystemPorts, recorder.get()});
    if (recorder) {
        // Told from inside an exchange: the box comes once that exchange has ended.
        recorder->onFailure = [&window](const QString &message) {
            QTimer::singleShot(0, &window, [&window, message] {
                QMessageBox::warning(&window, QStringLiteral("Wirelark"),
                                     message + QStringLiteral(" Capturing has stopped; the window "
                                                              "carries on."));
            });
        };
    }
    window.show();
    return app.exec();
}
