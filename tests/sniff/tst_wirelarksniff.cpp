// wirelark-sniff run as a user would: on a recording, on a pseudo-terminal whose far end the
// test plays, and as tshark's extcap, in a private home.
#include "support/ptyfarend.h"
#include "support/referencecrc.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

namespace
{

// q03, r03, noise, q06, its echo, a request left unanswered, an exception, a reply with a wrong
// CRC, as raw bytes.
QByteArray recording()
{
    QByteArray bad = withReferenceCrc("0103040001000A");
    bad[bad.size() - 1] = char(bad.back() ^ 0x55);
    return withReferenceCrc("010300000002") + withReferenceCrc("0103040001000A") + "\xAA" +
           withReferenceCrc("010600010003") + withReferenceCrc("010600010003") +
           withReferenceCrc("020300000001") + withReferenceCrc("010300000002") +
           withReferenceCrc("018302") + withReferenceCrc("010300000002") + bad;
}

// The program in a private home whose port directory and extcap folders live in dir.
class Sniff
{
public:
    explicit Sniff(const QString &dir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/config"));
        m_process.setProcessEnvironment(env);
    }
    ~Sniff()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    QProcess &process() { return m_process; }
    void start(const QStringList &arguments)
    {
        m_process.start(QStringLiteral(WIRELARK_SNIFF_PATH), arguments);
        QVERIFY(m_process.waitForStarted(5000));
    }
    int finish()
    {
        if (!m_process.waitForFinished(15000) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

private:
    QProcess m_process;
};

} // namespace

class TestWirelarkSniff : public QObject
{
    Q_OBJECT

private slots:
    void recordingAsJson();
    void commandLine_data();
    void commandLine();
    void portIsNeverWritten();
    void extcapStops_data();
    void extcapStops();
    void liveInTshark();

private:
    QTemporaryDir m_dir;
};

void TestWirelarkSniff::recordingAsJson()
{
    QFile file(m_dir.filePath(QStringLiteral("bus.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(recording()) > 0);
    file.close();
    Sniff sniff(m_dir.path());
    sniff.start({"--input", file.fileName(), "--format", "json"});
    QCOMPARE(sniff.finish(), 0);
    QStringList seen;
    for (const QByteArray &line : sniff.process().readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QString token = o[QStringLiteral("direction")].toString().left(3) +
                        o[QStringLiteral("crc")].toString().left(1);
        if (o.contains(QStringLiteral("request")))
            token += QLatin1Char('<') + o[QStringLiteral("request")].toVariant().toString();
        seen << token;
    }
    QCOMPARE(seen.join(QLatin1Char(' ')),
             QStringLiteral("reqg resg<1 noi reqg resg<4 reqg reqg resg<7 reqg resb<9"));
    const QString totals = QString::fromUtf8(sniff.process().readAllStandardError());
    QVERIFY2(totals.contains(QRegularExpression(QStringLiteral("\\n +1 +4 +4 +1 +1 +0 +-"))),
             qPrintable(totals));
    QVERIFY2(totals.contains(QRegularExpression(QStringLiteral("\\n +2 +1 +0 +0 +0 +1 +-"))),
             qPrintable(totals));
    QVERIFY(totals.contains(QStringLiteral("noise: 1 bytes in 1 runs")));
}

void TestWirelarkSniff::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("nothing to watch") << QStringList{} << 2 << "give the port to watch";
    QTest::newRow("port and input")
        << QStringList{"--port", "5", "--input", "x"} << 2 << "not both";
    QTest::newRow("bad format") << QStringList{"--input", "x", "--format", "xml"} << 2
                                << "give text or json";
    QTest::newRow("missing input") << QStringList{"--input", "/nonexistent/bus.bin"} << 2
                                   << "Cannot read /nonexistent/bus.bin";
    QTest::newRow("extcap needs an interface")
        << QStringList{"--extcap-dlts"} << 2 << "--extcap-interface is required";
    QTest::newRow("extcap refuses a filter")
        << QStringList{"--extcap-interface",      "wirelark-com7", "--capture", "--fifo", "/tmp/x",
                       "--extcap-capture-filter", "port 502"}
        << 2 << "no capture filter";
    QTest::newRow("extcap dlts") << QStringList{"--extcap-interface", "wirelark-com7",
                                                "--extcap-dlts"}
                                 << 0 << "dlt {number=252}{name=wirelark-com7}";
    QTest::newRow("extcap config")
        << QStringList{"--extcap-interface", "wirelark-com7", "--extcap-config"} << 0
        << "{call=--settings}";
}

void TestWirelarkSniff::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, says);
    Sniff sniff(m_dir.path());
    sniff.start(arguments);
    QCOMPARE(sniff.finish(), status);
    const QString out = QString::fromUtf8(sniff.process().readAllStandardOutput() +
                                          sniff.process().readAllStandardError());
    QVERIFY2(out.contains(says), qPrintable(out));
}

// The far end of the pseudo-terminal plays the bus and must hear nothing back, not even an echo.
void TestWirelarkSniff::portIsNeverWritten()
{
    PtyFarEnd far;
    QVERIFY(far.isValid());
    Sniff sniff(m_dir.path());
    sniff.start({"--port", far.devicePath(), "--speed", "115200"});
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (said += sniff.process().readAllStandardError()).contains("Listening on"), said.constData(),
        5000);
    QVERIFY(far.send(withReferenceCrc("010600010003") + withReferenceCrc("010600010003")));
    QByteArray lines;
    QTRY_VERIFY_WITH_TIMEOUT(
        (lines += sniff.process().readAllStandardOutput()).contains("answers #1"), 5000);
    QVERIFY(far.receive(300).isEmpty());
    ::kill(pid_t(sniff.process().processId()), SIGTERM);
    QCOMPARE(sniff.finish(), 0);
    QVERIFY(far.takeAll().isEmpty());
}

// Wireshark stops an extcap capture by SIGTERM, possibly before it opens the FIFO, or by closing
// the FIFO, possibly while the bus is idle: either way the program ends cleanly and quietly.
void TestWirelarkSniff::extcapStops_data()
{
    QTest::addColumn<bool>("readerCloses");
    QTest::newRow("SIGTERM before the FIFO has a reader") << false;
    QTest::newRow("the reader closes the FIFO on an idle bus") << true;
}

void TestWirelarkSniff::extcapStops()
{
    QFETCH(bool, readerCloses);
    PtyFarEnd far;
    const QString ports = m_dir.filePath(QStringLiteral("config/wirelark/ports"));
    QVERIFY(far.isValid() && QDir().mkpath(ports) && far.linkAs(ports, 7));
    const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("capture.fifo")));
    ::unlink(fifo.constData());
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    Sniff sniff(m_dir.path());
    sniff.start(
        {"--extcap-interface", "wirelark-com7", "--fifo", QFile::decodeName(fifo), "--capture"});
    if (readerCloses) {
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        // The pcap file header (24 bytes) shows the capture has begun; then the reader goes.
        ssize_t got = 0;
        const auto readSome = [&got, reader] {
            char bytes[24];
            got += std::max<ssize_t>(::read(reader, bytes, sizeof bytes), 0);
            return got;
        };
        QTRY_VERIFY(readSome() >= 24);
        ::close(reader);
    } else {
        QTest::qWait(300);
        ::kill(pid_t(sniff.process().processId()), SIGTERM);
    }
    QCOMPARE(sniff.finish(), 0);
    QCOMPARE(sniff.process().readAllStandardError(), QByteArray());
}

void TestWirelarkSniff::liveInTshark()
{
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        QSKIP("tshark is not installed");
    PtyFarEnd far;
    QVERIFY(far.isValid());
    const QString ports = m_dir.filePath(QStringLiteral("config/wirelark/ports"));
    QVERIFY(QDir().mkpath(ports) && far.linkAs(ports, 7));
    Sniff install(m_dir.path());
    install.start({"--install-extcap"});
    QCOMPARE(install.finish(), 0);

    QProcess listing;
    listing.setProcessEnvironment(install.process().processEnvironment());
    listing.start(tshark, {"-D"});
    QVERIFY(listing.waitForFinished(60000));
    QVERIFY(listing.readAllStandardOutput().contains("wirelark-com7 (Modbus RTU bus on Com7"));

    QProcess capture;
    capture.setProcessEnvironment(install.process().processEnvironment());
    capture.start(tshark, {"-i", "wirelark-com7", "-c", "4", "-o", "mbrtu.tcp.port:65502"});
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT((said += capture.readAllStandardError()).contains("Capturing on"),
                              said.constData(), 30000);
    // The monitor opens the port some time after tshark says it captures (much later under the
    // sanitizers): the same exchanges go out once a second until four frames have come through.
    // The first of them may be cut by the open, so the frames are checked as decoded, not counted
    // by kind; the splitter's tables check the kinds.
    for (int second = 0; second < 30 && !capture.waitForFinished(1000); ++second) {
        said += capture.readAllStandardError();
        for (const char *hex : {"010600010003", "010600010003", "010300000002", "0103040001000A"})
            QVERIFY(far.send(withReferenceCrc(hex)));
    }
    said += capture.readAllStandardError();
    QCOMPARE(capture.state(), QProcess::NotRunning);
    const QString out = QString::fromUtf8(capture.readAllStandardOutput());
    QVERIFY2(out.count(QStringLiteral("Modbus RTU")) >= 3,
             qPrintable(out + QString::fromUtf8(said)));
    QVERIFY2(out.contains(QStringLiteral("Response: Unit:   1, Func:   3")), qPrintable(out));
    QVERIFY(!(said + capture.readAllStandardError()).contains("wirelark-sniff"));
}

QTEST_GUILESS_MAIN(TestWirelarkSniff)
#include "tst_wirelarksniff.moc"
