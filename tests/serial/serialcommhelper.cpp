// A second program for the serial component tests.
//   serialcommhelper hold PATH        opens PATH with Qt Serial Port, prints "held", and keeps it
//                                     open until its standard input closes.
//   serialcommhelper [--as-nobody] open N
//                                     opens Com<N> with the serial component (as user nobody
//                                     when asked, which needs root), prints the error number
//                                     and message on two lines, and exits.
#include "serial/qtserialcomm.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QTextStream>

#include <cstdio>
#include <grp.h>
#include <unistd.h>

namespace
{

constexpr uid_t kNobody = 65534;

int hold(const QString &path)
{
    QSerialPort port(path);
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("failed %s\n", qPrintable(port.errorString()));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
    return 0;
}

int open(int number)
{
    serial::QtSerialComm comm;
    serial::CommError error = comm.setCommPort(static_cast<qint16>(number));
    if (!error)
        error = comm.setPortOpen(true);
    std::printf("%d\n%s\n", error.number, qPrintable(error.message));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.value(0) == QLatin1String("--as-nobody")) {
        args.removeFirst();
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            std::printf("cannot become nobody\n");
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    if (args.size() == 2 && args[0] == QLatin1String("hold"))
        return hold(args[1]);
    if (args.size() == 2 && args[0] == QLatin1String("open"))
        return open(args[1].toInt());
    std::printf("usage: serialcommhelper hold PATH | [--as-nobody] open N\n");
    return 2;
}
