// wirelark-scan: the judgement of what came back for a probe, and the program run as a user
// would, against wirelark-slave on a pseudo-terminal.
#include "probe.h"
#include "support/referencecrc.h"
#include "support/slaveprocess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestWirelarkScan : public QObject
{
    Q_OBJECT

private slots:
    void judge_data();
    void judge();
    void scan_data();
    void scan();
    void stopMidScan();
};

namespace
{

QByteArray withCrc(const char *hex)
{
    return withReferenceCrc(QByteArray(hex));
}

struct ScanRun {
    int status = -1;
    QString out;
    QString err;
};

// wirelark-scan on the simulator's pseudo-terminal.
void startScan(QProcess &process, const QString &device, const QStringList &arguments)
{
    QStringList all = arguments;
    all.replaceInStrings(QStringLiteral("%dev"), device);
    process.start(QStringLiteral(WIRELARK_SCAN_PATH), all);
    process.waitForStarted(5000);
}

ScanRun finish(QProcess &process)
{
    ScanRun run;
    if (process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

void TestWirelarkScan::judge_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("code");
    using scan::Outcome;
    const QByteArray probe03 = scan::probeFrame(scan::ProbeKind::ReadHolding, 7);
    const QByteArray reply03 = withCrc("07030200 2A");
    const auto row = [](const char *name, scan::ProbeKind kind, const QByteArray &reply,
                        Outcome outcome, int code = 0) {
        QTest::newRow(name) << int(kind) << reply << int(outcome) << code;
    };
    const auto k03 = scan::ProbeKind::ReadHolding;
    row("nothing", k03, {}, Outcome::Silent);
    row("zeros alone", k03, QByteArray(3, '\0'), Outcome::Silent);
    row("reply", k03, reply03, Outcome::Reply);
    row("zeros, reply", k03, QByteArray(2, '\0') + reply03, Outcome::Reply);
    row("echo, reply", k03, probe03 + reply03, Outcome::Reply);
    row("echo alone", k03, probe03, Outcome::EchoOnly);
    row("reply, noise after", k03, reply03 + "\xff", Outcome::Reply);
    row("exception 02", k03, withCrc("078302"), Outcome::Exception, 2);
    row("echo, exception 01", k03, probe03 + withCrc("078301"), Outcome::Exception, 1);
    row("gateway 0B", k03, withCrc("07830B"), Outcome::GatewayException, 11);
    row("gateway 0A", k03, withCrc("07830A"), Outcome::GatewayException, 10);
    row("other address", k03, withCrc("0803020000"), Outcome::Garbled);
    row("other function", k03, withCrc("0704020000"), Outcome::Garbled);
    row("bad crc", k03, QByteArray::fromHex("07030200 2A0000"), Outcome::Garbled);
    row("short", k03, QByteArray::fromHex("0703"), Outcome::Garbled);
    row("report slave id", scan::ProbeKind::ReportId, withCrc("071103 0AFF00"), Outcome::Reply);
    row("device id", scan::ProbeKind::DeviceId, withCrc("072B0E01010000010003414243"),
        Outcome::Reply);
    row("input register", scan::ProbeKind::ReadInput, withCrc("0704020001"), Outcome::Reply);
}

void TestWirelarkScan::judge()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, reply);
    QFETCH(int, outcome);
    QFETCH(int, code);
    const scan::Judgement judgement =
        scan::judgeReply(scan::probeFrame(scan::ProbeKind(kind), 7), reply);
    QCOMPARE(scan::outcomeName(judgement.outcome), scan::outcomeName(scan::Outcome(outcome)));
    QCOMPARE(int(judgement.exceptionCode), code);
}

void TestWirelarkScan::scan_data()
{
    QTest::addColumn<QStringList>("slave"); // empty: no simulator
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // a pattern of standard output
    QTest::addColumn<QString>("err"); // a pattern of standard error
    const QStringList range{"--port", "%dev", "--addresses", "1-5", "--timeout", "20"};
    const QStringList at19200 =
        range + QStringList{"--speeds", "9600,19200", "--settings", "N,8,1"};
    QTest::newRow("reply at 19200") << QStringList{"--address", "4", "--speed", "19200"} << at19200
                                    << 0 << R"(^address 4 at 19200,N,8,1: reply in [\d.]+ ms\n$)"
                                    << "9600,N,8,1 1 of 5 probes had garbled answers";
    QTest::newRow("exception only")
        << QStringList{"--address", "2", "--exception", "2"}
        << range + QStringList{"--speeds", "9600", "--format", "json", "--settings", "N,8,1"} << 0
        << R"(^\{"address": 2, "speed": 9600, "settings": "N,8,1", "outcome": "exception", )"
           R"("exception": 2, "time_ms": [\d.]+\}\n$)"
        << "1 device";
    QTest::newRow("gateway") << QStringList{"--gateway"} << range + QStringList{"--speeds", "9600"}
                             << 1 << "^$"
                             << "every address answers with a gateway exception";
    QTest::newRow("echo") << QStringList{"--address", "5", "--echo"}
                          << range + QStringList{"--speeds", "9600", "--probe", "11"} << 0
                          << R"(^address 5 at 9600,N,8,1: exception 01 in [\d.]+ ms\n$)"
                          << "echoes each probe";
    QTest::newRow("silent") << QStringList{"--silent"} << range + QStringList{"--speeds", "9600"}
                            << 1 << "^$"
                            << R"(0 device\(s\) found)";
    QTest::newRow("every address") << QStringList{"--address", "1-5"}
                                   << range + QStringList{"--speeds", "9600", "--settings", "N,8,1"}
                                   << 0 << "^every address answers at 9600,N,8,1"
                                   << "";
    QTest::newRow("first") << QStringList{"--address", "3,4"}
                           << range + QStringList{"--speeds", "9600", "--first"} << 0
                           << R"(^address 3 at 9600,N,8,1: reply in [\d.]+ ms\n$)"
                           << "";
    QTest::newRow("dry run") << QStringList{}
                             << QStringList{"--port", "/dev/null", "--dry-run", "--timeout", "20"}
                             << 0 << R"(9600,N,8,1  timeout 20 ms  at most 7\.9 s\n)"
                             << "^$";
    QTest::newRow("not a serial port")
        << QStringList{} << QStringList{"--port", "/dev/null", "--speeds", "9600"} << 2 << "^$"
        << "/dev/null";
    QTest::newRow("no port") << QStringList{} << QStringList{"--speeds", "9600"} << 2 << "^$"
                             << "--port is required";
    QTest::newRow("address 0") << QStringList{} << QStringList{"--port", "5", "--addresses", "0"}
                               << 2 << "^$"
                               << "not an address";
    QTest::newRow("bad timeout") << QStringList{} << QStringList{"--port", "5", "--timeout", "0"}
                                 << 2 << "^$"
                                 << "give milliseconds";
    QTest::newRow("bad settings") << QStringList{}
                                  << QStringList{"--port", "5", "--settings", "N,8"} << 2 << "^$"
                                  << "groups of three";
    QTest::newRow("bad probe") << QStringList{} << QStringList{"--port", "5", "--probe", "01"} << 2
                               << "^$"
                               << "give 03, 04, 11 or 2B";
}

void TestWirelarkScan::scan()
{
    QFETCH(QStringList, slave);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir home;
    SlaveProcess simulator;
    if (!slave.isEmpty())
        QVERIFY(simulator.start(home.path(), slave + QStringList{"--quiet"}));
    QProcess process;
    startScan(process, simulator.devicePath(), arguments);
    const ScanRun run = finish(process);
    QVERIFY2(QRegularExpression(out).match(run.out).hasMatch(), qPrintable(run.out));
    QVERIFY2(QRegularExpression(err).match(run.err).hasMatch(), qPrintable(run.err));
    QCOMPARE(run.status, status);
}

void TestWirelarkScan::stopMidScan()
{
    QTemporaryDir home;
    SlaveProcess simulator;
    QVERIFY(simulator.start(home.path(), {"--address", "1", "--quiet"}));
    QProcess process;
    startScan(process, simulator.devicePath(),
              {"--port", "%dev", "--speeds", "9600", "--settings", "N,8,1", "--timeout", "50"});
    QTest::qWait(1000);
    ::kill(pid_t(process.processId()), SIGINT);
    const ScanRun run = finish(process);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.startsWith("address 1 at 9600,N,8,1: reply"), qPrintable(run.out));
    QVERIFY2(run.err.contains("stopped; 1 device(s) found"), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestWirelarkScan)
#include "tst_wirelarkscan.moc"
