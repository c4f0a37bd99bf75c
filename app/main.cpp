#include "app/form1.h"
#include "serial/systemcomm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Qt's plain Unix event dispatcher runs a timer that fell due ahead of queued repaints, so in
    // continuous sending the next exchange starts right after the previous one has ended.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wirelark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Wirelark"));
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.wirelark.Wirelark"));

    Form1 window({serial::createSystemComm(), &serial::scanSystemPorts});
    window.show();
    return app.exec();
}
