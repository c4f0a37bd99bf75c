// portopenhelper N: builds the window with the real serial component (no display needed),
// chooses ComN, clicks the open button and prints each warning shown, then whether the port
// ended open. Run as another user to see what that user is told.
#include "app/form1.h"
#include "serial/systemcomm.h"
#include "serial/systemports.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::printf("usage: portopenhelper N\n");
        return 2;
    }
    Form1 window({serial::createSystemComm(), &serial::scanSystemPorts});
    QStringList warnings;
    window.setWarningPresenter([&warnings](const QString &text) { warnings << text; });
    window.findChild<QComboBox *>(QStringLiteral("cboComPort"))
        ->setEditText(QStringLiteral("Com%1").arg(QString::fromLocal8Bit(argv[1])));
    window.findChild<QPushButton *>(QStringLiteral("cmdopen"))->click();
    for (const QString &text : warnings)
        std::printf("warning: %s\n", qPrintable(text));
    std::printf("open: %d\n", window.comm().portOpen() ? 1 : 0);
    return 0;
}
