// The serial component over real pseudo-terminals linked in a private port directory.
#include "app/boxentries.h"
#include "serial/qtserialcomm.h"
#include "serial/systemports.h"
#include "serial/terminalprobe.h"
#include "support/ptyfarend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using serial::CommError;
using serial::QtSerialComm;

namespace
{

// Links target as com<number> in the port directory, replacing an older link.
bool linkPort(int number, const QString &target)
{
    const QString name = serial::portDirectory() + QStringLiteral("/com%1").arg(number);
    QFile::remove(name);
    return QFile::link(target, name);
}

// A pseudo-terminal linked as com<number> in the port directory, and a closed component set to
// that number (check ready). The test plays the far end.
struct LinkedPty {
    explicit LinkedPty(int number = 5, serial::ModemLines *modemLines = nullptr)
        : comm({}, modemLines)
    {
        ready = pty.isValid() && linkPort(number, pty.devicePath()) &&
                !comm.setCommPort(static_cast<qint16>(number));
    }
    // The error number and message of a failed open; empty when the port opened.
    QString open()
    {
        const CommError error = comm.setPortOpen(true);
        return error ? QStringLiteral("%1: %2").arg(error.number).arg(error.message) : QString();
    }

    PtyFarEnd pty;
    QtSerialComm comm;
    bool ready = false;
};

// Records the modem line settings that the component makes, one "DTR=1" or "RTS=0" each.
// RS-485 requests are "RS485=BEFORE,AFTER" and "RS485=back"; refusal is the errno value with
// which the driver refuses the mode (0: it takes it).
struct ModemLineRecorder : serial::ModemLines {
    void setDataTerminalReady(bool asserted) override
    {
        calls << QStringLiteral("DTR=%1").arg(int(asserted));
    }
    void setRequestToSend(bool asserted) override
    {
        calls << QStringLiteral("RTS=%1").arg(int(asserted));
    }
    int enableRs485(const serial::Rs485Mode &mode) override
    {
        calls << QStringLiteral("RS485=%1,%2").arg(mode.rtsBeforeMs).arg(mode.rtsAfterMs);
        return refusal;
    }
    void restoreRs485() override { calls << QStringLiteral("RS485=back"); }
    QStringList calls;
    int refusal = 0;
};

// A driver's serial settings as LowLatency sees them: its flags and the errno values with which
// its reads and writes fail (0: they succeed).
struct FakeSerialDriver {
    serial::LowLatency::Control control()
    {
        return [this](int, unsigned long request, serial_struct &info) {
            if (request == TIOCGSERIAL) {
                info.flags = flags;
                return readError;
            }
            if (writeError == 0)
                flags = info.flags;
            return writeError;
        };
    }
    int flags = 0;
    int readError = 0;
    int writeError = 0;
};

qint64 cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

const QByteArray kRequest = QByteArray::fromHex("010300000002C40B");

} // namespace

class TestQtSerialComm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void openCloseReopen();
    void openingWritesNothing();
    void resolvesTheNumberWhenOpening();
    void unmappedNumber();
    void nonTerminalTargets_data();
    void nonTerminalTargets();
    void everyListedRateOpens();
    void framingThePseudoTerminalRefuses_data();
    void framingThePseudoTerminalRefuses();
    void malformedSettingsKeepThePreviousOnes();
    void settingsChangedWhileOpen();
    void outputHandsAllBytesOver();
    void inputTakesEveryByteReceived();
    void inBufferCountZeroDiscardsEverything();
    void closedPortRefusesInputAndOutput();
    void portOpenInThisProcess();
    void portLockedByAnotherProgram();
    void portOpenedByAProgramWithoutLocking();
    void permissionDenied();
    void exclusiveModeRefusesOtherUsers();
    void lostDeviceClosesAtOnceWithoutSpinning();
    void lostDeviceSeenByInput();
    void lossToldByClose();
    void modemLinesReleasedOnARealDevice();
    void modemLinesFollowDTREnable_data();
    void modemLinesFollowDTREnable();
    void lowLatencyAskedAndPutBack_data();
    void lowLatencyAskedAndPutBack();
    void terminalDriverListing_data();
    void terminalDriverListing();

private:
    QString runHelper(const QStringList &arguments);

    QTemporaryDir m_config;
};

void TestQtSerialComm::initTestCase()
{
    QVERIFY(m_config.isValid());
    // The helper may run as another user: it must reach the port directory.
    QVERIFY(QFile::setPermissions(
        m_config.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                             QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCOMPARE(serial::portDirectory(), m_config.path() + QStringLiteral("/wirelark/ports"));
    QVERIFY(QDir().mkpath(serial::portDirectory()));
}

void TestQtSerialComm::cleanup()
{
    QDir ports(serial::portDirectory());
    for (const QString &name : ports.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        ports.remove(name);
}

QString TestQtSerialComm::runHelper(const QStringList &arguments)
{
    QProcess helper;
    helper.start(QStringLiteral(SERIALCOMM_HELPER), arguments);
    if (!helper.waitForFinished(10000))
        return QStringLiteral("helper did not finish");
    return QString::fromLocal8Bit(helper.readAllStandardOutput());
}

void TestQtSerialComm::openCloseReopen()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QtSerialComm &comm = port.comm;
    QVERIFY(!comm.setSettings(QStringLiteral("9600,N,8,1")));

    for (int round = 0; round < 2; ++round) {
        const CommError opened = comm.setPortOpen(true);
        QVERIFY2(!opened, qPrintable(opened.message));
        QVERIFY(comm.portOpen());
        QCOMPARE(comm.devicePath(), port.pty.devicePath());
        QVERIFY(!comm.setPortOpen(false));
        QVERIFY(!comm.portOpen());
    }

    const CommError again = comm.setPortOpen(false);
    QCOMPARE(again.number, int(CommError::NotOpen));
    QCOMPARE(again.message, QStringLiteral("Com5 is not open."));
}

void TestQtSerialComm::openingWritesNothing()
{
    LinkedPty port;
    QVERIFY(port.ready);
    port.comm.setDTREnable(false);
    QCOMPARE(port.open(), QString());
    QTest::qWait(100);
    QCOMPARE(port.pty.receive(500), QByteArray());
}

void TestQtSerialComm::resolvesTheNumberWhenOpening()
{
    LinkedPty first(6);
    PtyFarEnd second;
    QVERIFY(first.ready && second.isValid());
    QtSerialComm &comm = first.comm;
    QCOMPARE(first.open(), QString());
    QCOMPARE(comm.devicePath(), first.pty.devicePath());
    QVERIFY(!comm.setPortOpen(false));

    QVERIFY(linkPort(6, second.devicePath()));
    QVERIFY(!comm.setPortOpen(true));
    QCOMPARE(comm.devicePath(), second.devicePath());
    QVERIFY(!comm.setPortOpen(false));

    QVERIFY(QFile::remove(serial::portDirectory() + QStringLiteral("/com6")));
    QCOMPARE(comm.setPortOpen(true).number, int(CommError::NoSuchPort));
}

void TestQtSerialComm::unmappedNumber()
{
    constexpr int kNumber = 32000;
    for (const serial::MappedPort &port : serial::scanSystemPorts())
        if (port.number == kNumber)
            QSKIP("this machine maps Com32000");
    QtSerialComm comm;
    QVERIFY(!comm.setCommPort(kNumber));
    const CommError error = comm.setPortOpen(true);
    QCOMPARE(error.number, int(CommError::NoSuchPort));
    QVERIFY2(
        error.message.startsWith(QStringLiteral("Com32000: no such serial port on this machine.")),
        qPrintable(error.message));
    QVERIFY2(error.message.contains(QStringLiteral("com32000 in ") + serial::portDirectory()),
             qPrintable(error.message));
    QVERIFY(!comm.portOpen());
}

void TestQtSerialComm::nonTerminalTargets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("described");
    QTest::newRow("regular file") << "file"
                                  << "is a regular file";
    QTest::newRow("directory") << "directory"
                               << "is a directory";
    QTest::newRow("named pipe") << "fifo"
                                << "is a named pipe";
    QTest::newRow("/dev/null") << "/dev/null"
                               << "is a device that is not a terminal";
    QTest::newRow("/dev/zero") << "/dev/zero"
                               << "is a device that is not a terminal";
}

void TestQtSerialComm::nonTerminalTargets()
{
    QFETCH(QString, kind);
    QFETCH(QString, described);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content("precious bytes\n");
    QString target = kind;
    int fifoReader = -1;
    if (kind == QLatin1String("file")) {
        target = dir.filePath(QStringLiteral("data.bin"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    } else if (kind == QLatin1String("directory")) {
        target = dir.path();
    } else if (kind == QLatin1String("fifo")) {
        target = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        fifoReader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(fifoReader >= 0);
    }
    target = QFileInfo(target).canonicalFilePath();
    struct stat before {
    };
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &before), 0);

    QVERIFY(linkPort(9, target));
    QtSerialComm comm;
    comm.setCommPort(9);
    const CommError error = comm.setPortOpen(true);
    QCOMPARE(error.number, int(CommError::NotATerminal));
    QVERIFY2(error.message.startsWith(QStringLiteral("Com9: %1 %2").arg(target, described)),
             qPrintable(error.message));
    QVERIFY2(error.message.contains(QLatin1String("nothing was written")),
             qPrintable(error.message));
    QVERIFY(!comm.portOpen());
    QCOMPARE(comm.output(kRequest).number, int(CommError::NotOpen));

    struct stat after {
    };
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &after), 0);
    if (kind == QLatin1String("file")) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
        QCOMPARE(after.st_size, before.st_size);
        QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
    if (fifoReader >= 0) {
        char c;
        QCOMPARE(::read(fifoReader, &c, 1), ssize_t(0)); // not a byte came through
        ::close(fifoReader);
    }
}

void TestQtSerialComm::everyListedRateOpens()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QtSerialComm &comm = port.comm;
    for (const QString &rate : baudRateEntries()) {
        const QString settings = rate + QStringLiteral(",N,8,1");
        QVERIFY(!comm.setSettings(settings));
        const CommError error = comm.setPortOpen(true);
        QVERIFY2(!error, qPrintable(settings + QStringLiteral(": ") + error.message));
        QVERIFY(!comm.setPortOpen(false));
    }
}

void TestQtSerialComm::framingThePseudoTerminalRefuses_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("E,7,1") << "9600,E,7,1"
                           << "does not take the settings 9600,E,7,1; it keeps "
                              "9600,N,8,1";
    QTest::newRow("O,8,2") << "19200,O,8,2"
                           << "does not take the settings 19200,O,8,2; it keeps "
                              "19200,N,8,2";
    QTest::newRow("M,8,1") << "9600,M,8,1"
                           << "does not take the settings 9600,M,8,1";
    QTest::newRow("1.5 stop bits") << "9600,N,8,1.5"
                                   << "1.5 stop bits are not available";
}

void TestQtSerialComm::framingThePseudoTerminalRefuses()
{
    QFETCH(QString, settings);
    QFETCH(QString, complaint);
    LinkedPty port;
    QVERIFY(port.ready);
    QtSerialComm &comm = port.comm;
    QVERIFY(!comm.setSettings(settings)); // well-formed: refused by the device at open only
    const CommError error = comm.setPortOpen(true);
    QCOMPARE(error.number, int(CommError::OpenFailed));
    QVERIFY2(error.message.startsWith(QStringLiteral("Com5: ")), qPrintable(error.message));
    QVERIFY2(error.message.contains(complaint), qPrintable(error.message));
    QVERIFY(!comm.portOpen());
    QCOMPARE(port.pty.receive(200), QByteArray());

    QVERIFY(!comm.setSettings(QStringLiteral("9600,N,8,1")));
    QVERIFY(!comm.setPortOpen(true));
}

void TestQtSerialComm::malformedSettingsKeepThePreviousOnes()
{
    QtSerialComm comm;
    QVERIFY(!comm.setSettings(QStringLiteral("19200,E,8,1")));
    const CommError error = comm.setSettings(QStringLiteral("96OO,N,8,1"));
    QCOMPARE(error.number, int(CommError::BadSettings));
    QVERIFY(error.message.contains(QLatin1String("\"96OO\"")));
    QCOMPARE(comm.settings(), QStringLiteral("19200,E,8,1"));
}

void TestQtSerialComm::settingsChangedWhileOpen()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QtSerialComm &comm = port.comm;
    QCOMPARE(port.open(), QString());

    QVERIFY(!comm.setSettings(QStringLiteral("19200,N,8,2")));
    termios line{};
    QCOMPARE(::tcgetattr(port.pty.fd(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(B19200));
    QVERIFY(line.c_cflag & CSTOPB);

    const CommError refused = comm.setSettings(QStringLiteral("9600,E,7,1"));
    QCOMPARE(refused.number, int(CommError::BadSettings));
    QCOMPARE(comm.settings(), QStringLiteral("19200,N,8,2"));
    QCOMPARE(::tcgetattr(port.pty.fd(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(B19200));
    QVERIFY(comm.portOpen());

    QCOMPARE(comm.setCommPort(7).number, int(CommError::AlreadyOpen));
    QCOMPARE(comm.commPort(), qint16(5));
}

void TestQtSerialComm::outputHandsAllBytesOver()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QCOMPARE(port.open(), QString());
    PtyFarEnd &pty = port.pty;
    QtSerialComm &comm = port.comm;
    // No event loop runs between the write and the far end's read: the bytes left the
    // component inside output().
    QVERIFY(!comm.output(kRequest));
    QCOMPARE(pty.receive(500), kRequest);
    const QByteArray everyValue = [] {
        QByteArray bytes;
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
        return bytes;
    }();
    QVERIFY(!comm.output(everyValue));
    QCOMPARE(pty.receive(500), everyValue); // raw: no byte is translated or dropped
}

void TestQtSerialComm::inputTakesEveryByteReceived()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QCOMPARE(port.open(), QString());
    PtyFarEnd &pty = port.pty;
    QtSerialComm &comm = port.comm;

    QByteArray bytes("stale");
    QVERIFY(!comm.input(bytes));
    QCOMPARE(bytes, QByteArray()); // nothing arrived

    QVERIFY(pty.send(QByteArray::fromHex("0103")));
    QTest::qWait(100); // the event loop moves these into the component's buffer
    QVERIFY(pty.send(QByteArray::fromHex("0400110D0A")));
    ::usleep(100 * 1000); // these stay in the kernel until input() pulls them
    QVERIFY(!comm.input(bytes));
    QCOMPARE(bytes, QByteArray::fromHex("01030400110D0A"));
    QVERIFY(!comm.input(bytes));
    QCOMPARE(bytes, QByteArray());
}

void TestQtSerialComm::inBufferCountZeroDiscardsEverything()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QCOMPARE(port.open(), QString());
    PtyFarEnd &pty = port.pty;
    QtSerialComm &comm = port.comm;

    QVERIFY(pty.send("buffered"));
    QTest::qWait(100);
    QVERIFY(pty.send("in kernel"));
    ::usleep(100 * 1000);
    QVERIFY(!comm.setInBufferCount(0));
    QVERIFY(pty.send("fresh"));
    ::usleep(100 * 1000);
    QByteArray bytes;
    QVERIFY(!comm.input(bytes));
    QCOMPARE(bytes, QByteArray("fresh"));

    QCOMPARE(comm.setInBufferCount(5).number, int(CommError::BadValue));
}

void TestQtSerialComm::closedPortRefusesInputAndOutput()
{
    QtSerialComm comm;
    comm.setCommPort(4);
    QByteArray bytes;
    for (const CommError &error :
         {comm.input(bytes), comm.output(kRequest), comm.setInBufferCount(0)}) {
        QCOMPARE(error.number, int(CommError::NotOpen));
        QCOMPARE(error.message, QStringLiteral("Com4 is not open. Open the port first."));
    }
    QCOMPARE(comm.setCommPort(0).number, int(CommError::BadPortNumber));
    QCOMPARE(comm.setCommPort(-3).number, int(CommError::BadPortNumber));
    QCOMPARE(comm.commPort(), qint16(4));
}

// "In use" on Linux: the device's lock file (which Qt Serial Port and other serial programs
// take) is held by a live process, or the device is in exclusive mode (which binds users
// other than root).
void TestQtSerialComm::portOpenInThisProcess()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QtSerialComm &first = port.comm;
    QCOMPARE(port.open(), QString());
    QtSerialComm second;
    second.setCommPort(5);
    const CommError error = second.setPortOpen(true);
    QCOMPARE(error.number, int(CommError::PortInUse));
    QVERIFY2(error.message.startsWith(QStringLiteral("Com5: %1 is in use: another program holds it")
                                          .arg(port.pty.devicePath())),
             qPrintable(error.message));
    QVERIFY(!second.portOpen());
    QVERIFY(first.portOpen());
    QVERIFY(!first.setPortOpen(false));
    QVERIFY(!second.setPortOpen(true)); // free again
}

void TestQtSerialComm::portLockedByAnotherProgram()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QtSerialComm &comm = port.comm;
    QProcess holder;
    holder.start(QStringLiteral(SERIALCOMM_HELPER),
                 {QStringLiteral("hold"), port.pty.devicePath()});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    const CommError error = comm.setPortOpen(true);
    QCOMPARE(error.number, int(CommError::PortInUse));
    QVERIFY2(error.message.contains(QLatin1String("Close that program")),
             qPrintable(error.message));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(!comm.setPortOpen(true));
}

void TestQtSerialComm::portOpenedByAProgramWithoutLocking()
{
    // A program that opens the device without the lock convention is not seen: a Linux
    // terminal may be opened by several processes at once.
    LinkedPty port;
    QVERIFY(port.ready);
    const int other =
        ::open(QFile::encodeName(port.pty.devicePath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(other >= 0);
    const QString failure = port.open();
    ::close(other);
    QCOMPARE(failure, QString());
}

void TestQtSerialComm::permissionDenied()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run the helper as another user");
    const gid_t dialout = [] {
        const group *g = ::getgrnam("dialout");
        return g ? g->gr_gid : gid_t(-1);
    }();
    if (dialout == gid_t(-1))
        QSKIP("no group dialout on this machine");
    LinkedPty port;
    QVERIFY(port.ready);
    const QByteArray path = QFile::encodeName(port.pty.devicePath());
    QCOMPARE(::chown(path.constData(), 0, dialout), 0);
    QCOMPARE(::chmod(path.constData(), 0660), 0);

    const QStringList lines =
        runHelper({QStringLiteral("--as-nobody"), QStringLiteral("open"), QStringLiteral("5")})
            .split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QString::number(CommError::PermissionDenied));
    const QString message = lines.value(1);
    QVERIFY2(message.startsWith(QStringLiteral("Com5: permission denied on %1, which belongs to "
                                               "the group dialout.")
                                    .arg(port.pty.devicePath())),
             qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("Add your user to that group")), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("log out and log in again")), qPrintable(message));
}

void TestQtSerialComm::exclusiveModeRefusesOtherUsers()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run the helper as another user");
    LinkedPty holder; // Qt Serial Port puts the device into exclusive mode
    QVERIFY(holder.ready);
    QCOMPARE(::chmod(QFile::encodeName(holder.pty.devicePath()).constData(), 0666), 0);
    QCOMPARE(holder.open(), QString());

    const QStringList lines =
        runHelper({QStringLiteral("--as-nobody"), QStringLiteral("open"), QStringLiteral("5")})
            .split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QString::number(CommError::PortInUse));
    QVERIFY2(
        lines.value(1).startsWith(QStringLiteral("Com5: %1 is in use: another program holds it.")
                                      .arg(holder.pty.devicePath())),
        qPrintable(lines.value(1)));
}

void TestQtSerialComm::lostDeviceClosesAtOnceWithoutSpinning()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QtSerialComm &comm = port.comm;
    const QString path = port.pty.devicePath();
    QCOMPARE(port.open(), QString());

    port.pty.drop();
    const qint64 cpuBefore = cpuMilliseconds();
    QTest::qWait(1000);
    const qint64 cpuSpent = cpuMilliseconds() - cpuBefore;
    QVERIFY(!comm.portOpen());
    QVERIFY2(cpuSpent < 300, qPrintable(QStringLiteral("%1 ms of CPU in 1 s").arg(cpuSpent)));

    const QString lost =
        QStringLiteral("The serial device %1 disappeared; plug it back in and open the port again.")
            .arg(path);
    QByteArray bytes;
    CommError error = comm.input(bytes);
    QCOMPARE(error.number, int(CommError::DeviceLost));
    QCOMPARE(error.message, lost);
    error = comm.output(kRequest);
    QCOMPARE(error.number, int(CommError::DeviceLost));
    QCOMPARE(comm.setInBufferCount(0).number, int(CommError::DeviceLost));

    QVERIFY(!comm.setPortOpen(false)); // the loss was told already
    QCOMPARE(comm.setPortOpen(false).number, int(CommError::NotOpen));

    PtyFarEnd replacement;
    QVERIFY(replacement.isValid());
    QVERIFY(linkPort(5, replacement.devicePath()));
    QVERIFY(!comm.setPortOpen(true));
    QVERIFY(!comm.output(kRequest));
    QCOMPARE(replacement.receive(500), kRequest);
}

void TestQtSerialComm::lostDeviceSeenByInput()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QCOMPARE(port.open(), QString());
    PtyFarEnd &pty = port.pty;
    QtSerialComm &comm = port.comm;
    QVERIFY(!comm.setInBufferCount(0));
    pty.drop();
    // No event loop ran since: input() itself meets the loss.
    QByteArray bytes;
    QCOMPARE(comm.input(bytes).number, int(CommError::DeviceLost));
    QVERIFY(!comm.portOpen());
}

void TestQtSerialComm::lossToldByClose()
{
    LinkedPty port;
    QVERIFY(port.ready);
    QCOMPARE(port.open(), QString());
    PtyFarEnd &pty = port.pty;
    QtSerialComm &comm = port.comm;
    pty.drop();
    QTest::qWait(200);
    const CommError error = comm.setPortOpen(false);
    QCOMPARE(error.number, int(CommError::DeviceLost));
    QVERIFY(!comm.portOpen());
    QCOMPARE(comm.setPortOpen(false).number, int(CommError::NotOpen));
}

void TestQtSerialComm::modemLinesReleasedOnARealDevice()
{
    const QString device = qEnvironmentVariable("WIRELARK_TEST_SERIAL_DEVICE");
    if (device.isEmpty())
        QSKIP("set WIRELARK_TEST_SERIAL_DEVICE to a serial device with modem lines");
    QVERIFY(linkPort(31, device));
    QtSerialComm comm;
    comm.setCommPort(31);
    comm.setDTREnable(false);
    const CommError error = comm.setPortOpen(true);
    QVERIFY2(!error, qPrintable(error.message));
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    int lines = 0;
    QCOMPARE(::ioctl(fd, TIOCMGET, &lines), 0);
    QVERIFY(!(lines & TIOCM_DTR));
    QVERIFY(!(lines & TIOCM_RTS));
    QVERIFY(!comm.setDTREnable(true));
    QCOMPARE(::ioctl(fd, TIOCMGET, &lines), 0);
    QVERIFY(lines & TIOCM_DTR);
    ::close(fd);
}

void TestQtSerialComm::modemLinesFollowDTREnable_data()
{
    // Steps: "open", "close", "dtr0", "dtr1", "rs485" (RS-485 mode, delays 2 and 3 ms), "lose"
    // (the far end hangs up). calls: each step's, sorted, split by "|"; empty: RTS released and
    // DTR as DTREnable while open, none while closed. refusal: the driver's to RS-485 mode.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<int>("refusal");
    const auto row = [](const char *name, const char *steps, const char *calls = "", int no = 0) {
        QTest::newRow(name) << steps << calls << no;
    };
    row("DTR off at open", "open");
    row("DTR on at open", "dtr1 open");
    row("switched while open", "open dtr1 dtr0 dtr1");
    row("re-open keeps DTR on", "dtr1 open close open");
    row("switched while closed", "open close dtr1 open dtr0 close dtr1 open");
    row("RS-485 asked at open, RTS left to the driver", "rs485 open dtr1 close open",
        "|DTR=0 RS485=2,3|DTR=1|RS485=back|DTR=1 RS485=2,3");
    row("RS-485 given back when the device is lost", "rs485 open lose close",
        "|DTR=0 RS485=2,3|RS485=back|");
    row("RS-485 refused: not opened", "rs485 open close", "|RS485=2,3|", ENOTTY);
}

void TestQtSerialComm::modemLinesFollowDTREnable()
{
    QFETCH(QString, steps);
    QFETCH(QString, calls);
    QFETCH(int, refusal);
    ModemLineRecorder lines;
    lines.refusal = refusal;
    LinkedPty port(5, &lines);
    QVERIFY(port.ready);
    const QStringList given = calls.split(QLatin1Char('|'));
    bool dtr = false;
    qsizetype k = 0;
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        lines.calls.clear();
        if (step == QLatin1String("open")) {
            const QString error = port.open();
            QVERIFY2(refusal ? error.contains(QStringLiteral("has no RS-485 mode: its driver "
                                                             "refused it (Inappropriate ioctl"))
                             : error.isEmpty(),
                     qPrintable(error));
        } else if (step == QLatin1String("close")) {
            QVERIFY(!port.comm.setPortOpen(false) || !calls.isEmpty());
        } else if (step == QLatin1String("rs485")) {
            QVERIFY(!port.comm.setRs485(serial::Rs485Mode{2, 3}));
        } else if (step == QLatin1String("lose")) {
            port.pty.drop();
            QTest::qWait(200);
        } else {
            QVERIFY(!port.comm.setDTREnable(dtr = step.endsWith(QLatin1Char('1'))));
        }
        QStringList expected = given.value(k++).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (calls.isEmpty() && port.comm.portOpen())
            expected = QStringList{QStringLiteral("DTR=%1").arg(int(dtr)), QStringLiteral("RTS=0")};
        lines.calls.sort();
        QVERIFY2(lines.calls == expected, qPrintable(step + ": " + lines.calls.join(' ')));
    }
}

void TestQtSerialComm::lowLatencyAskedAndPutBack_data()
{
    using Result = serial::LowLatency::Result;
    constexpr int kOff = ASYNC_SKIP_TEST;
    constexpr int kOn = ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY;
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("readError");
    QTest::addColumn<int>("writeError");
    QTest::addColumn<bool>("vanishes"); // every call fails after the ask
    QTest::addColumn<Result>("result");
    QTest::addColumn<int>("asked"); // flags after the ask
    QTest::newRow("off: on, then off") << kOff << 0 << 0 << false << Result::Granted << kOn;
    QTest::newRow("on before: left on") << kOn << 0 << 0 << false << Result::AlreadyOn << kOn;
    QTest::newRow("ENOTTY") << kOff << ENOTTY << 0 << false << Result::Unsupported << kOff;
    QTest::newRow("EINVAL") << kOff << 0 << EINVAL << false << Result::Unsupported << kOff;
    QTest::newRow("device lost") << kOff << 0 << 0 << true << Result::Granted << kOn;
}

// Another program sets ASYNC_SPD_HI while the flag is held: restore() keeps it.
void TestQtSerialComm::lowLatencyAskedAndPutBack()
{
    QFETCH(int, flags);
    QFETCH(int, readError);
    QFETCH(int, writeError);
    QFETCH(bool, vanishes);
    QFETCH(serial::LowLatency::Result, result);
    QFETCH(int, asked);
    FakeSerialDriver driver{.flags = flags, .readError = readError, .writeError = writeError};
    serial::LowLatency lowLatency(driver.control());
    QCOMPARE(lowLatency.request(7), result);
    QCOMPARE(driver.flags, asked);
    driver.flags |= ASYNC_SPD_HI;
    if (vanishes)
        driver.readError = driver.writeError = EIO;
    lowLatency.restore();
    QCOMPARE(driver.flags, (vanishes ? asked : flags) | ASYNC_SPD_HI);
    QVERIFY(!lowLatency.holding());
}

void TestQtSerialComm::terminalDriverListing_data()
{
    const QString listing =
        QStringLiteral("/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
                       "serial               /dev/ttyS       4 64-111 serial\n"
                       "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
                       "usbserial            /dev/ttyUSB   188 0-511 serial\n");
    QTest::addColumn<QString>("listing");
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<bool>("terminal");
    QTest::newRow("ttyS0") << listing << 4u << 64u << true;
    QTest::newRow("ttyS47") << listing << 4u << 111u << true;
    QTest::newRow("tty4 is a console, not listed") << listing << 4u << 4u << false;
    QTest::newRow("pts") << listing << 136u << 7u << true;
    QTest::newRow("ttyUSB0") << listing << 188u << 0u << true;
    QTest::newRow("/dev/tty single minor") << listing << 5u << 0u << true;
    QTest::newRow("/dev/null") << listing << 1u << 3u << false;
    QTest::newRow("watchdog") << listing << 10u << 130u << false;
}

void TestQtSerialComm::terminalDriverListing()
{
    QFETCH(QString, listing);
    QFETCH(uint, major);
    QFETCH(uint, minor);
    QFETCH(bool, terminal);
    QCOMPARE(serial::isTerminalDeviceNumber(listing, major, minor), terminal);
}

QTEST_GUILESS_MAIN(TestQtSerialComm)
#include "tst_qtserialcomm.moc"
