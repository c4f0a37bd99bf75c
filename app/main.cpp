#include "app/form1.h"
#include "serial/systemcomm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wirelark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Wirelark"));

    Form1 window({serial::createSystemComm(), &serial::scanSystemPorts});
    window.show();
    return app.exec();
}
