// wirelark-poll run as a user would, without a display, against wirelark-slave and a far end
// played by the test.
#include "support/ptyfarend.h"
#include "support/referencecrc.h"
#include "support/slaveprocess.h"
#include "transaction/logline.h"
#include "transaction/readout.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

constexpr int kRunMs = 15000;

struct PollRun {
    int status = -1; // -1: did not end on its own
    QByteArray out;
    QString err;
};

// wirelark-poll as a child process with the port directory of configHome and no display.
class PollProcess
{
public:
    explicit PollProcess(const QString &configHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        m_process.setProcessEnvironment(env);
    }
    ~PollProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    void start(const QStringList &arguments)
    {
        m_process.start(QStringLiteral(WIRELARK_POLL_PATH), arguments);
        m_process.waitForStarted(5000);
    }
    QProcess &process() { return m_process; }
    PollRun finish()
    {
        PollRun run;
        if (m_process.waitForFinished(kRunMs) && m_process.exitStatus() == QProcess::NormalExit)
            run.status = m_process.exitCode();
        run.out = m_process.readAllStandardOutput();
        run.err = QString::fromUtf8(m_process.readAllStandardError());
        return run;
    }

private:
    QProcess m_process;
};

QByteArray withCrc(QByteArray body, quint16 xorMask = 0)
{
    const quint16 crc = referenceCrc16(body) ^ xorMask;
    body.append(static_cast<char>(crc & 0xFF));
    body.append(static_cast<char>(crc >> 8));
    return body;
}

// What the text format prints for one reply: the window's log line and its three read-outs.
QByteArray expectedText(const QByteArray &reply, const QString &countText)
{
    QString text = transaction::logLine(reply) + QStringLiteral("registers");
    for (int k = 1; k <= 3; ++k) {
        const QString readout = transaction::registerReadout(reply, countText, k);
        text += QLatin1Char(' ') + (readout.isEmpty() ? QStringLiteral("-") : readout);
    }
    return (text + QLatin1Char('\n')).toUtf8();
}

// A TCP port on 127.0.0.1 where nothing listens, as far as anyone can tell.
quint16 freeTcpPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

} // namespace

class TestWirelarkPoll : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_configHome.isValid()); }

    void textIsTheWindowsLogLine_data();
    void textIsTheWindowsLogLine();
    void writeReadsBack_data();
    void writeReadsBack();
    void exitStatus_data();
    void exitStatus();
    void stopSignalEndsAfterTheExchangeInFlight();
    void exchangesEndAtTheReplysFrame();
    void tcpServerRestartedMidRun();
    void severalSlavesOneSilent();

private:
    // Replaces %port in each argument.
    static QStringList withPort(QStringList arguments, const QString &port)
    {
        arguments.replaceInStrings(QStringLiteral("%port"), port);
        return arguments;
    }

    QTemporaryDir m_configHome;
};

void TestWirelarkPoll::textIsTheWindowsLogLine_data()
{
    QTest::addColumn<QString>("port"); // %1: the simulator's port number, %2 its device
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("countText");
    QTest::addColumn<bool>("valid");
    // With a type: the line after the log line; holding register k holds 10 * k from 3 on.
    QTest::addColumn<QString>("values");

    const QStringList threeTimes{QStringLiteral("--repeat"), QStringLiteral("3")};
    QTest::newRow("Com5") << "Com%1" << threeTimes << "0002" << true << QString();
    QTest::newRow("com5") << "com%1" << threeTimes << "0002" << true << QString();
    QTest::newRow("bare number") << "%1" << threeTimes << "0002" << true << QString();
    QTest::newRow("device path") << "%2" << threeTimes << "0002" << true << QString();
    QTest::newRow("interval 400, fixed wait")
        << "%1" << threeTimes + QStringList{"--interval", "400", "--fixed-wait"} << "0002" << true
        << QString();
    QTest::newRow("count 3 typed short")
        << "%1" << QStringList{"--count", "3"} << "0003" << true << QString();
    QTest::newRow("count 1, register 5")
        << "%1" << QStringList{"--count", "1", "--register", "5"} << "0001" << true << QString();
    // Logged as the window logs it, and not valid: the slave refused; no bits.
    QTest::newRow("exception reply")
        << "%1" << QStringList{"--function", "2", "--register", "64"} << "0002" << false << "bits";
    const auto typed = [](const char *count, const char *type) {
        return QStringList{"--register", "3", "--count", count, "--type", type};
    };
    QTest::newRow("u32") << "%1" << typed("4", "u32") << "0004" << true << "values 1966120 3276860";
    QTest::newRow("u32 little") << "%1" << typed("4", "u32") + QStringList{"--word-order", "little"}
                                << "0004" << true << "values 2621470 3932210";
    QTest::newRow("s32 byte swap") << "%1" << typed("2", "s32") + QStringList{"--byte-swap"}
                                   << "0002" << true << "values 503326720";
    QTest::newRow("f32") << "%1" << typed("2", "f32") << "0002" << true << "values 2.755121e-39";
    QTest::newRow("f64 byte swap") << "%1" << typed("4", "f64") + QStringList{"--byte-swap"}
                                   << "0004" << true << "values 3.506977799885436e-164";
    QTest::newRow("u16 typed, input registers")
        << "%1" << typed("2", "u16") + QStringList{"--function", "4"} << "0002" << true
        << "values 1003 1004";
}

void TestWirelarkPoll::textIsTheWindowsLogLine()
{
    QFETCH(QString, port);
    QFETCH(QStringList, arguments);
    QFETCH(QString, countText);
    QFETCH(bool, valid);
    QFETCH(QString, values);

    SlaveProcess slave;
    QVERIFY(slave.start(m_configHome.path()));
    const QString device =
        QFileInfo(m_configHome.path() +
                  QStringLiteral("/wirelark/ports/com%1").arg(slave.portNumber()))
            .symLinkTarget();
    PollProcess poll(m_configHome.path());
    poll.start(QStringList{QStringLiteral("--port"), port.arg(slave.portNumber()).arg(device)} +
               arguments);
    const PollRun run = poll.finish();

    const int count = arguments.contains(QStringLiteral("--repeat")) ? 3 : 1;
    QVERIFY(QTest::qWaitFor([&] { return slave.replies().size() >= count; }, 5000));
    QByteArray expected;
    for (const QString &hex : slave.replies()) {
        const QByteArray reply = QByteArray::fromHex(hex.toLatin1());
        expected += values.isEmpty() ? expectedText(reply, countText)
                                     : (transaction::logLine(reply) + values + '\n').toUtf8();
    }
    QCOMPARE(run.out, expected);
    QCOMPARE(run.status, valid ? 0 : 1);
    QVERIFY2(
        run.err.contains(QStringLiteral("%1 sent, %2 valid").arg(count).arg(valid ? count : 0)),
        qPrintable(run.err));
    // Three starts 400 ms apart and a 100 ms wait span 900 ms: 3.3 a second, not 10.
    static const QRegularExpression rate(QStringLiteral("\n([\\d.]+) valid replies per second\n$"));
    const double perSecond = rate.match(run.err).captured(1).toDouble();
    if (arguments.contains(QStringLiteral("--interval")))
        QVERIFY2(perSecond > 3.0 && perSecond < 3.6, qPrintable(run.err));
}

void TestWirelarkPoll::writeReadsBack_data()
{
    // "write arguments|its last line|read arguments|its last line", arguments separated by spaces.
    QTest::addColumn<QString>("steps");

    QTest::newRow("06") << "--register 14 --write 1234|written 1234|--register 14 --count 1|"
                           "registers 1234 - -";
    QTest::newRow("10 for one") << "--register 14 --write 9 --function 10|written 9|--register 14 "
                                   "--count 1|registers 9 - -";
    QTest::newRow("f32") << "--register 10 --type f32 --write 21.5,-0.1|written 21.5 -0.1|"
                            "--register 10 --type f32 --count 4|values 21.5 -0.1";
    QTest::newRow("f32 little")
        << "--register 10 --type f32 --write 21.5 --word-order little|"
           "written 21.5|--register 10 --type hex --count 2|values 0000 41AC";
    QTest::newRow("s16 swap") << "--register 10 --type s16 --write -2,3 --byte-swap|written -2 3|"
                                 "--register 10 --type hex --count 2|values FEFF 0300";
    QTest::newRow("u64 little") << "--register 10 --type u64 --write 65538 --word-order little|"
                                   "written 65538|--register 10 --type hex --count 4|"
                                   "values 0002 0001 0000 0000";
    QTest::newRow("base 1") << "--base 1 --register 15 --write 1234|written 1234|--register 14 "
                               "--count 1|registers 1234 - -";
    QTest::newRow("05") << "--register 1 --coils --write 1|written 1|--function 1 --count 4|"
                           "bits 1 1 0 1";
    QTest::newRow("0F") << "--register 4 --coils --write 0,1,0|written 0 1 0|--function 1 "
                           "--register 3 --count 5|bits 1 0 1 0 0";
    QTest::newRow("broadcast") << "--address 0 --register 14 --write 77|broadcast, no reply "
                                  "awaited: 77|--register 14 --count 1|registers 77 - -";
}

void TestWirelarkPoll::writeReadsBack()
{
    QFETCH(QString, steps);
    const QStringList step = steps.split(QLatin1Char('|'));

    SlaveProcess slave;
    QVERIFY(slave.start(m_configHome.path()));
    for (int k = 0; k < 4; k += 2) {
        PollProcess poll(m_configHome.path());
        poll.start(QStringList{QStringLiteral("--port"), slave.portName()} +
                   step[k].split(QLatin1Char(' ')));
        const PollRun run = poll.finish();
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out.trimmed().split('\n').last(), step[k + 1].toUtf8());
    }
}

void TestWirelarkPoll::exitStatus_data()
{
    // The device: "slave", "silent slave", "echo slave", "far end" (played by the test:
    // farEndExchange is the request it must get, 8 bytes, then its reply), "file" (a regular
    // file), "tcp slave" (the simulator over TCP only) or "tcp refused" (a port where nothing
    // listens). message: a part of standard error or output. untouched: nothing may reach the
    // device.
    QTest::addColumn<QString>("device");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("farEndExchange");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("untouched");

    const QByteArray none;
    const auto exchange = [](const char *request, const char *reply, quint16 crcMask = 0) {
        return withCrc(QByteArray::fromHex(request)) + withCrc(QByteArray::fromHex(reply), crcMask);
    };
    QTest::newRow("valid reply") << "slave" << QStringList() << none << 0 << "1 valid" << false;
    QTest::newRow("silent") << "silent slave" << QStringList() << none << 1 << "1 silent" << false;
    QTest::newRow("wrong CRC") << "far end" << QStringList()
                               << exchange("010300000002", "0103040001000200", 0x0101) << 1
                               << "1 invalid" << false;
    QTest::newRow("another slave answers")
        << "far end" << QStringList() << exchange("010300000002", "0203040001000200") << 1
        << "1 invalid" << false;
    QTest::newRow("base 1, register 1 is the protocol's 0")
        << "far end" << QStringList{"--base", "1", "--register", "1"}
        << exchange("010300000002", "01030400010002") << 0
        << "request 01 03 00 00 00 02 C4 0B (holding registers 0001-0002 hex, from 1)" << false;
    // The bits of FC 01 and 02: bit 0 of the first data byte first, the --count asked only.
    QTest::newRow("19 coils") << "far end" << QStringList{"--function", "1", "--count", "13"}
                              << exchange("010100000013", "010103CD6B05") << 0
                              << "\nbits 1 0 1 1 0 0 1 1 1 1 0 1 0 1 1 0 1 0 1\n"
                              << false;
    QTest::newRow("padding bits set, not printed")
        << "far end" << QStringList{"--function", "1", "--count", "A"}
        << exchange("01010000000A", "010102CDFF") << 0 << "\nbits 1 0 1 1 0 0 1 1 1 1\n"
        << false;
    QTest::newRow("bits of another slave's reply")
        << "far end" << QStringList{"--function", "1", "--count", "A"}
        << exchange("01010000000A", "020102CDFF") << 1 << "\nbits\n"
        << false;
    QTest::newRow("json inputs") << "far end" << QStringList{"--function", "2",        "--count",
                                                             "8",          "--format", "json"}
                                 << exchange("010200000008", "01020155") << 0
                                 << R"("bits":[1,0,1,0,1,0,1,0])" << false;
    QTest::newRow("no such port") << "slave" << QStringList{"--port", "32000"} << none << 2
                                  << "Com32000: no such serial port" << true;
    QTest::newRow("regular file") << "file" << QStringList() << none << 2
                                  << "is a regular file, not a serial device" << true;
    QTest::newRow("bad settings") << "slave" << QStringList{"--settings", "N,9,1"} << none << 2
                                  << "are not valid" << true;
    QTest::newRow("settings a pty refuses") << "slave" << QStringList{"--settings", "E,8,1"} << none
                                            << 2 << "does not take the settings 9600,E,8,1" << true;
    QTest::newRow("letter in the address") << "slave" << QStringList{"--address", "0g"} << none << 2
                                           << "\"g\" is not a hexadecimal digit" << true;
    QTest::newRow("huge count") << "slave" << QStringList{"--count", "100000"} << none << 2
                                << "at most 4 hexadecimal digits" << true;
    QTest::newRow("wait abc") << "slave" << QStringList{"--wait", "abc"} << none << 2
                              << "not a number of milliseconds" << true;
    QTest::newRow("port zero") << "slave" << QStringList{"--port", "com0"} << none << 2
                               << "must be 1 to 32767" << true;
    QTest::newRow("unknown language")
        << "slave" << QStringList{"--lang", "fr"} << none << 2 << "unknown language \"fr\"" << true;
    QTest::newRow("valid reply over TCP")
        << "tcp slave" << QStringList() << none << 0 << "1 sent, 1 valid" << false;
    QTest::newRow("first connection refused") << "tcp refused" << QStringList() << none << 2
                                              << "cannot connect: Connection refused" << true;
    QTest::newRow("TCP port 0") << "slave" << QStringList{"--port", "tcp://127.0.0.1:0"} << none
                                << 2 << "is not a TCP far end" << true;
    QTest::newRow("interval zero") << "slave" << QStringList{"--interval", "0"} << none << 2
                                   << "--interval \"0\" is not a period" << true;
    QTest::newRow("unknown type") << "slave" << QStringList{"--type", "f16"} << none << 2
                                  << "give one of u16, s16, hex" << true;
    QTest::newRow("word order middle") << "slave" << QStringList{"--word-order", "middle"} << none
                                       << 2 << "--word-order \"middle\"" << true;
    QTest::newRow("count not a whole f32")
        << "slave" << QStringList{"--type", "f32", "--count", "3"} << none << 2
        << "give a multiple of 2" << true;
    QTest::newRow("write out of range")
        << "slave" << QStringList{"--write", "70000"} << none << 2 << "from 0 to 65535" << true;
    QTest::newRow("write too many")
        << "slave" << QStringList{"--write", QString("1,").repeated(123) + "1"} << none << 2
        << "1 to 123 registers in one frame, not 124" << true;
    QTest::newRow("coil not a bit") << "slave" << QStringList{"--write", "2", "--coils"} << none
                                    << 2 << "each coil is 0 or 1" << true;
    QTest::newRow("address twice")
        << "slave" << QStringList{"--address", "1,2,1"} << none << 2 << "1 is given twice" << true;
    QTest::newRow("register 0, base 1") << "slave" << QStringList{"--base", "1", "--register", "0"}
                                        << none << 2 << "--register 0 with --base 1" << true;
    QTest::newRow("2001 coils") << "slave" << QStringList{"--function", "1", "--count", "7D1"}
                                << none << 2 << "(2001 bits) does not fit" << true;
    QTest::newRow("no inputs") << "slave" << QStringList{"--function", "2", "--count", "0"} << none
                               << 2 << "(0 bits) does not fit" << true;
    QTest::newRow("capture to standard output") << "slave" << QStringList{"--capture", "-"} << none
                                                << 2 << "--capture needs a file name" << true;
    QTest::newRow("RTS delay without RS-485")
        << "slave" << QStringList{"--rts-delay", "1,1"} << none << 2 << "goes with --rs485" << true;
    QTest::newRow("RTS delay past 100") << "slave" << QStringList{"--rs485", "--rts-delay", "0,101"}
                                        << none << 2 << "each 0 to 100" << true;
    QTest::newRow("RS-485 on a pty")
        << "far end" << QStringList{"--rs485"} << none << 2 << "has no RS-485 mode" << true;
    QTest::newRow("echo taken off")
        << "echo slave" << QStringList{"--echo"} << none << 0 << "1 valid" << false;
    QTest::newRow("FC 06 after its echo")
        << "echo slave" << QStringList{"--echo", "--register", "14", "--write", "5"} << none << 0
        << "1 valid" << false;
    QTest::newRow("echo missing") << "slave" << QStringList{"--echo", "--format", "csv"} << none
                                  << 1 << ",no echo,0," << false;
}

void TestWirelarkPoll::exitStatus()
{
    QFETCH(QString, device);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, farEndExchange);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(bool, untouched);

    SlaveProcess slave;
    PtyFarEnd farEnd;
    int holder = -1;
    const auto release = qScopeGuard([&holder] {
        if (holder >= 0)
            ::close(holder);
    });
    const QString file = m_configHome.filePath(QStringLiteral("not-a-port"));
    const QByteArray fileText("unchanged\n");
    QString port;
    if (device == QLatin1String("tcp slave")) {
        QVERIFY(slave.start(m_configHome.path(), {"--tcp", "0", "--no-pty"}));
        port = QStringLiteral("tcp://127.0.0.1:%1").arg(slave.tcpPort());
    } else if (device == QLatin1String("tcp refused")) {
        port = QStringLiteral("tcp://127.0.0.1:%1").arg(freeTcpPort());
    } else if (device.endsWith(QLatin1String("slave"))) {
        QVERIFY(slave.start(m_configHome.path(),
                            device == QLatin1String("slave")
                                ? QStringList{}
                                : QStringList{QLatin1String("--") + device.section(' ', 0, 0)}));
        port = slave.portName();
    } else if (device == QLatin1String("far end")) {
        QVERIFY(farEnd.isValid());
        port = farEnd.devicePath();
        // Held open so that the far end does not read a hang-up before the program opens it.
        holder = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(holder >= 0);
    } else {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(fileText) == fileText.size());
        port = file;
    }

    PollProcess poll(m_configHome.path());
    const QStringList portOption{QStringLiteral("--port"), port};
    poll.start(arguments.contains(QStringLiteral("--port")) ? arguments : portOption + arguments);
    if (!farEndExchange.isEmpty()) {
        QCOMPARE(farEnd.receive(5000, 8), farEndExchange.first(8));
        QVERIFY(farEnd.send(farEndExchange.sliced(8)));
    }
    const PollRun run = poll.finish();

    QCOMPARE(run.status, status);
    const QString output = run.err + QString::fromUtf8(run.out);
    QVERIFY2(output.contains(message), qPrintable(output));
    if (untouched) {
        QVERIFY(run.out.isEmpty());
        QTest::qWait(200);
        QVERIFY(slave.requests().isEmpty());
        QCOMPARE(farEnd.takeAll(), QByteArray());
    }
    if (device == QLatin1String("file")) {
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), fileText);
    }
}

void TestWirelarkPoll::stopSignalEndsAfterTheExchangeInFlight()
{
    SlaveProcess slave;
    QVERIFY(slave.start(m_configHome.path()));
    PollProcess poll(m_configHome.path());
    const QString capture = m_configHome.filePath(QStringLiteral("run.pcap"));
    poll.start({QStringLiteral("--port"), slave.portName(), QStringLiteral("--repeat"),
                QStringLiteral("0"), QStringLiteral("--format"), QStringLiteral("csv"),
                QStringLiteral("--capture"), capture});
    QByteArray out;
    QVERIFY(QTest::qWaitFor(
        [&] {
            out += poll.process().readAllStandardOutput();
            return out.count('\n') >= 4; // the header and three exchanges
        },
        kRunMs));
    ::kill(static_cast<pid_t>(poll.process().processId()), SIGINT);
    const PollRun run = poll.finish();
    out += run.out;

    QCOMPARE(run.status, 0);
    QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.takeFirst(), QByteArray("time,seq,request,reply,reg1,reg2,reg3,verdict,valid,"
                                           "first_byte_ms,last_byte_ms,detail"));
    QCOMPARE(lines.takeLast(), QByteArray()); // every line ended
    const qsizetype sent = lines.size();
    // Each line agrees with the window's read-outs of its reply; no exchange runs after the stop.
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(','); // the quoted detail holds commas
        QVERIFY(fields.size() >= 12 && fields[11].startsWith("\"Valid reply"));
        const QByteArray reply = QByteArray::fromHex(fields[3]);
        QCOMPARE(QString::fromLatin1(fields[4]),
                 transaction::registerReadout(reply, QStringLiteral("0002"), 1));
        QCOMPARE(fields[8], QByteArray("1"));
        QVERIFY(fields[9].toDouble() > 0 && fields[9].toDouble() <= fields[10].toDouble());
    }
    QVERIFY(QTest::qWaitFor([&] { return slave.requests().size() >= sent; }, 3000));
    QTest::qWait(300);
    QCOMPARE(slave.requests().size(), sent);

    static const QRegularExpression summary(
        QStringLiteral("--- (Com\\d+) poll statistics ---\n(\\d+) sent, (\\d+) valid, 0 invalid, "
                       "0 silent\ntime to last byte min/median/max = ([\\d.]+)/([\\d.]+)/([\\d.]+) "
                       "ms\n([\\d.]+) valid replies per second\n$"));
    const QRegularExpressionMatch match = summary.match(run.err);
    QVERIFY2(match.hasMatch(), qPrintable(run.err));
    QCOMPARE(match.captured(1), slave.portName());
    QCOMPARE(match.captured(2).toLongLong(), sent);
    QCOMPARE(match.captured(3).toLongLong(), sent);
    QVERIFY(match.captured(4).toDouble() <= match.captured(5).toDouble());
    QVERIFY(match.captured(5).toDouble() <= match.captured(6).toDouble());
    // Back to back, each ending at its reply's frame: more than the 10 a second that waits of
    // 100 ms would allow.
    QVERIFY2(match.captured(7).toDouble() > 10.5, qPrintable(run.err));

    // The capture holds every request and reply, and tshark decodes each as Modbus RTU.
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        QSKIP("tshark is not installed (scripts/setup-deps.sh installs it)");
    QProcess decode;
    decode.start(tshark,
                 {QStringLiteral("-r"), capture, QStringLiteral("-T"), QStringLiteral("fields"),
                  QStringLiteral("-e"), QStringLiteral("mbrtu.unit_id"), QStringLiteral("-e"),
                  QStringLiteral("modbus.func_code")});
    QVERIFY(decode.waitForFinished(30000));
    QCOMPARE(decode.readAllStandardOutput(), QByteArray("1\t3\n").repeated(2 * sent));
}

// Against the simulator's line at 115200 baud an exchange takes about 6 ms: twenty with a wait
// of a second each end long before twenty seconds, every reply whole.
void TestWirelarkPoll::exchangesEndAtTheReplysFrame()
{
    SlaveProcess slave;
    QVERIFY(slave.start(m_configHome.path(), {"--speed", "115200"}));
    PollProcess poll(m_configHome.path());
    QElapsedTimer clock;
    clock.start();
    poll.start({"--port", QString::number(slave.portNumber()), "--speed", "115200", "--wait",
                "1000", "--repeat", "20"});
    const PollRun run = poll.finish();
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.contains(QStringLiteral("20 sent, 20 valid")), qPrintable(run.err));
}

// The exchanges while the server is down fail, each told once; the first one after it is back
// connects again and gets its reply.
void TestWirelarkPoll::tcpServerRestartedMidRun()
{
    SlaveProcess slave;
    QVERIFY(slave.start(m_configHome.path(), {"--tcp", "0", "--no-pty"}));
    const QString port = QString::number(slave.tcpPort());
    PollProcess poll(m_configHome.path());
    poll.start({"--port", "tcp://127.0.0.1:" + port, "--repeat", "0", "--wait", "50"});
    QByteArray out;
    const auto validLines = [&](qsizetype lines) {
        return QTest::qWaitFor(
            [&] {
                out += poll.process().readAllStandardOutput();
                return out.count("registers ") >= lines;
            },
            kRunMs);
    };
    QVERIFY(validLines(2));
    slave.stop();
    QTest::qWait(500);
    QVERIFY(slave.start(m_configHome.path(), {"--tcp", port, "--no-pty"}));
    const qsizetype before = out.count("registers ");
    QVERIFY(validLines(before + 2));
    ::kill(static_cast<pid_t>(poll.process().processId()), SIGINT);
    const PollRun run = poll.finish();

    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.count(QLatin1String("the server closed the connection")) == 1,
             qPrintable(run.err));
    QCOMPARE(run.err.count(QLatin1String("cannot connect: Connection refused")), 1);
    static const QRegularExpression summary(
        QStringLiteral(
            R"(connected again; (\d+) exchange\(s\) failed meanwhile.*\n(\d+) sent, \d+ valid, 0 invalid, \d+ silent, \1 failed\n)"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = summary.match(run.err);
    QVERIFY2(match.hasMatch() && match.captured(1).toInt() >= 5, qPrintable(run.err));
}

void TestWirelarkPoll::severalSlavesOneSilent()
{
    SlaveProcess slave;
    QVERIFY(slave.start(m_configHome.path(), {QStringLiteral("--address"), QStringLiteral("1,2")}));
    PollProcess poll(m_configHome.path());
    poll.start(
        {"--port", slave.portName(), "--address", "3,1-2", "--repeat", "2", "--format", "json"});
    const PollRun run = poll.finish();
    QCOMPARE(run.status, 1);
    QList<int> addresses;
    for (const QByteArray &line : run.out.trimmed().split('\n'))
        addresses
            << QJsonDocument::fromJson(line).object().value(QStringLiteral("address")).toInt();
    QCOMPARE(addresses, (QList<int>{3, 1, 2, 3, 1, 2}));
    for (const char *slaveSummary :
         {"6 sent, 4 valid, 0 invalid, 2 silent",
          "--- slave 1 poll statistics ---\n2 sent, 2 valid",
          "--- slave 3 poll statistics ---\n2 sent, 0 valid, 0 invalid, 2 silent"})
        QVERIFY2(run.err.contains(QLatin1String(slaveSummary)), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestWirelarkPoll)
#include "tst_wirelarkpoll.moc"
