#include "serial/linetiming.h"
#include "serial/systemports.h"
#include "support/referencecrc.h"
#include "support/slaveprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace
{

// How long the tests listen before they conclude that no reply comes.
constexpr int kQuietMs = 300;
// How long a reply that is due may take on a loaded machine.
constexpr int kReplyMs = 3000;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// The frame with its CRC appended, low byte first.
QByteArray withCrc(QByteArray body)
{
    const quint16 crc = referenceCrc16(body);
    body.append(static_cast<char>(crc & 0xFF));
    body.append(static_cast<char>(crc >> 8));
    return body;
}

// A read request for count holding registers from 0.
QByteArray readRegisters(int count)
{
    QByteArray body = hex("01 03 00 00 00 00");
    body[5] = static_cast<char>(count);
    return withCrc(body);
}

// Whether any run of 4 bytes or more, from any position, ends with its own right CRC.
bool holdsFrame(const QByteArray &bytes)
{
    for (qsizetype begin = 0; begin + 4 <= bytes.size(); ++begin)
        for (qsizetype end = begin + 4; end <= bytes.size(); ++end)
            if (withCrc(bytes.mid(begin, end - begin - 2)) == bytes.mid(begin, end - begin))
                return true;
    return false;
}

quint16 registerAt(const QByteArray &reply, int index)
{
    return static_cast<quint16>(static_cast<quint8>(reply.at(3 + 2 * index)) << 8 |
                                static_cast<quint8>(reply.at(4 + 2 * index)));
}

// A serial device opened with plain POSIX calls, in raw mode; or a TCP connection to
// 127.0.0.1, read and written the same way.
class RawPort
{
public:
    explicit RawPort(quint16 tcpPort) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(tcpPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    explicit RawPort(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            return;
        termios settings{};
        ::tcgetattr(m_fd, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(m_fd, TCSANOW, &settings);
        ::tcflush(m_fd, TCIOFLUSH);
    }
    ~RawPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // A TCP connection's half-close: no more bytes from this end.
    bool shutdownWrite() { return ::shutdown(m_fd, SHUT_WR) == 0; }

    // Sets the speed the far end sees, in bits per second.
    bool setSpeed(int baud)
    {
        termios settings{};
        return ::tcgetattr(m_fd, &settings) == 0 &&
               ::cfsetspeed(&settings, static_cast<speed_t>(baud)) == 0 &&
               ::tcsetattr(m_fd, TCSANOW, &settings) == 0;
    }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Every byte that arrives until count bytes are in or timeoutMs passes, and then whatever
    // follows within a short settling time, so that surplus bytes show.
    QByteArray read(qsizetype count, int timeoutMs = kReplyMs)
    {
        QByteArray bytes;
        QElapsedTimer clock;
        clock.start();
        while (bytes.size() < count && clock.elapsed() < timeoutMs)
            bytes += readFor(static_cast<int>(timeoutMs - clock.elapsed()), true);
        if (bytes.size() >= count)
            bytes += readFor(50, false);
        return bytes;
    }

    // The milliseconds since clock started at which each byte arrived, until count bytes are in
    // or timeoutMs passes; the bytes are appended to bytes when given.
    QList<double> arrivals(qsizetype count, const QElapsedTimer &clock, int timeoutMs = kReplyMs,
                           QByteArray *bytes = nullptr)
    {
        QList<double> times;
        while (times.size() < count && clock.elapsed() < timeoutMs) {
            const QByteArray chunk = readFor(static_cast<int>(timeoutMs - clock.elapsed()), true);
            times.insert(times.size(), chunk.size(),
                         static_cast<double>(clock.nsecsElapsed()) / 1e6);
            if (bytes != nullptr)
                bytes->append(chunk);
        }
        return times;
    }

    // Every byte that arrives within milliseconds.
    QByteArray readFor(int milliseconds, bool firstChunkOnly = false)
    {
        QByteArray bytes;
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const qint64 left = milliseconds - clock.elapsed();
            if (left <= 0)
                break;
            pollfd entry{m_fd, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left)) <= 0)
                break;
            char chunk[512];
            const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
            if (got <= 0)
                break;
            bytes.append(chunk, got);
            if (firstChunkOnly)
                break;
        }
        return bytes;
    }

private:
    int m_fd = -1;
};

} // namespace

class TestWirelarkSlave : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void tableRequestsHaveRightCrcs();
    void answers_data();
    void answers();
    void eachAddressItsOwnDevice();
    void liveRegisters();
    void writesStay();
    void backToBackRequests();
    void otherSlaveIgnoredThenServed();
    void broadcastWriteCarriedOutWithoutReply();
    void badFramesDropped_data();
    void badFramesDropped();
    void silentNeverReplies();
    void delayHoldsReply();
    void faultedReplies_data();
    void faultedReplies();
    void pacedReplyTakesWireTime_data();
    void pacedReplyTakesWireTime();
    void wrongSpeedGarbles_data();
    void wrongSpeedGarbles();
    void tapCarriesTheBus_data();
    void tapCarriesTheBus();
    void tapNeverBlocks_data();
    void tapNeverBlocks();
    void tcpRoundTrip_data();
    void tcpRoundTrip();
    void usbLatencyHoldsBytes_data();
    void usbLatencyHoldsBytes();
    void collisionsAndGapsCounted_data();
    void collisionsAndGapsCounted();
    void trafficLines();
    void quietPrintsNoTraffic();

    void stopRemovesLink_data();
    void stopRemovesLink();
    void replacedLinkIsLeft();
    void defaultPortSkipsTakenNumbers();
    void explicitPort_data();
    void explicitPort();
    void wrongCommandLine_data();
    void wrongCommandLine();
    void helpServesNothing();

private:
    QString portDirectory() const { return m_configHome->path() + "/wirelark/ports"; }
    // Starts a simulator and opens its port; fails the test when either fails.
    void startAndOpen(const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_configHome;
    std::unique_ptr<SlaveProcess> m_simulator;
    std::unique_ptr<RawPort> m_port;
};

void TestWirelarkSlave::init()
{
    m_port.reset();
    m_simulator.reset();
    m_configHome = std::make_unique<QTemporaryDir>();
    QVERIFY(m_configHome->isValid());
    m_simulator = std::make_unique<SlaveProcess>();
}

void TestWirelarkSlave::startAndOpen(const QStringList &arguments)
{
    QVERIFY2(m_simulator->start(m_configHome->path(), arguments),
             qPrintable(m_simulator->output()));
    QCOMPARE(QFileInfo(m_simulator->linkPath()).symLinkTarget(), m_simulator->devicePath());
    m_port = std::make_unique<RawPort>(m_simulator->linkPath());
    QVERIFY(m_port->isOpen());
    // The master's end at the line's speed, as a user sets it.
    if (const qsizetype speed = arguments.indexOf("--speed"); speed >= 0)
        QVERIFY(m_port->setSpeed(arguments.at(speed + 1).toInt()));
}

// The request frames below carry hand-typed CRCs; this keeps the test's CRC routine and the
// table honest with each other and with the well-known default request.
void TestWirelarkSlave::tableRequestsHaveRightCrcs()
{
    QCOMPARE(withCrc(hex("01 03 00 00 00 02")), hex("01 03 00 00 00 02 C4 0B"));
    QCOMPARE(withCrc(hex("01 03 00 00 00 03")), hex("01 03 00 00 00 03 05 CB"));
    QCOMPARE(withCrc(hex("01 07")), hex("01 07 41 E2"));
    QCOMPARE(withCrc(hex("01 10 00 03 00 02 04 AA BB CC DD")),
             hex("01 10 00 03 00 02 04 AA BB CC DD 77 1E"));
}

// Holding register k holds 10*k and input register k holds 1000+k for k >= 3.
void TestWirelarkSlave::answers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("replyBody");

    const QStringList none;
    QTest::newRow("03 holding 3 and 4")
        << none << hex("01 03 00 03 00 02 34 0B") << hex("01 03 04 00 1E 00 28");
    QTest::newRow("04 input 5") << none << hex("01 04 00 05 00 01 21 CB") << hex("01 04 02 03 ED");
    QTest::newRow("04 last input 99")
        << none << hex("01 04 00 63 00 01 C1 D4") << hex("01 04 02 04 4B");
    QTest::newRow("06 echoes the request")
        << none << hex("01 06 00 07 12 34 35 7C") << hex("01 06 00 07 12 34");
    QTest::newRow("16 echoes start and count")
        << none << hex("01 10 00 03 00 02 04 AA BB CC DD 77 1E") << hex("01 10 00 03 00 02");
    QTest::newRow("07 unknown: illegal function") << none << hex("01 07 41 E2") << hex("01 87 01");
    QTest::newRow("01 coils 0-7: every third on, bit 0 first")
        << none << hex("01 01 00 00 00 08 3D CC") << hex("01 01 01 49");
    QTest::newRow("02 inputs 0-7: the odd ones on")
        << none << hex("01 02 00 00 00 08 79 CC") << hex("01 02 01 AA");
    QTest::newRow("05 echoes the request")
        << none << hex("01 05 00 02 FF 00 2D FA") << hex("01 05 00 02 FF 00");
    QTest::newRow("15 echoes start and count")
        << none << hex("01 0F 00 04 00 03 01 05 BE 94") << hex("01 0F 00 04 00 03");
    QTest::newRow("03 past register 99: illegal address")
        << none << hex("01 03 00 63 00 02 34 15") << hex("01 83 02");
    QTest::newRow("04 from register 100: illegal address")
        << none << hex("01 04 00 64 00 01 70 15") << hex("01 84 02");
    QTest::newRow("06 to register 100: illegal address")
        << none << hex("01 06 00 64 00 01 09 D5") << hex("01 86 02");
    QTest::newRow("03 count 0: illegal value")
        << none << hex("01 03 00 00 00 00 45 CA") << hex("01 83 03");
    QTest::newRow("03 count 126: illegal value")
        << none << hex("01 03 00 00 00 7E C5 EA") << hex("01 83 03");
    QTest::newRow("--address 17") << QStringList{"--address", "17"}
                                  << hex("11 03 00 03 00 01 76 9A") << hex("11 03 02 00 1E");
    QTest::newRow("--exception 4")
        << QStringList{"--exception", "4"} << hex("01 03 00 00 00 02 C4 0B") << hex("01 83 04");
    QTest::newRow("--exception 0x0B on a write")
        << QStringList{"--exception", "0x0B"} << hex("01 06 00 07 12 34 35 7C") << hex("01 86 0B");
    QTest::newRow("--exception 255, beyond libmodbus's codes")
        << QStringList{"--exception=255"} << hex("01 07 41 E2") << hex("01 87 FF");
    const QStringList three{"--address", "7,12,247"};
    QTest::newRow("--address 7,12,247: 247 answers")
        << three << withCrc(hex("F7 03 00 03 00 01")) << hex("F7 03 02 00 1E");
    QTest::newRow("--address 7,12,247: 8 is silent")
        << three << withCrc(hex("08 03 00 03 00 01")) << QByteArray();
    QTest::newRow("--address 5-7,9: 6 answers")
        << QStringList{"--address", "5-7,9"} << withCrc(hex("06 04 00 05 00 01"))
        << hex("06 04 02 03 ED");
    QTest::newRow("--gateway: 33 gets 0B")
        << QStringList{"--gateway"} << withCrc(hex("21 03 00 00 00 01")) << hex("21 83 0B");
    QTest::newRow("--gateway: a broadcast gets nothing")
        << QStringList{"--gateway"} << hex("00 06 00 05 12 34 95 6D") << QByteArray();
}

void TestWirelarkSlave::answers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, replyBody);

    startAndOpen(arguments);
    QVERIFY(m_port->write(request));
    const QByteArray expected = replyBody.isEmpty() ? QByteArray() : withCrc(replyBody);
    const QByteArray got =
        expected.isEmpty() ? m_port->readFor(kQuietMs) : m_port->read(expected.size());
    QCOMPARE(got.toHex(' '), expected.toHex(' '));
}

// Each slave on the line counts its own requests; a broadcast reaches all of them.
void TestWirelarkSlave::eachAddressItsOwnDevice()
{
    startAndOpen({"--address", "3,4"});
    for (int k = 0; k < 2; ++k) {
        QVERIFY(m_port->write(withCrc(hex("03 03 00 00 00 01"))));
        QCOMPARE(m_port->read(7).size(), 7);
    }
    QVERIFY(m_port->write(withCrc(hex("00 06 00 05 00 09"))));
    QCOMPARE(m_port->readFor(kQuietMs), QByteArray());

    QVERIFY(m_port->write(withCrc(hex("04 03 00 00 00 06"))));
    const QByteArray reply = m_port->read(17);
    QCOMPARE(reply, withCrc(reply.left(15)));
    QCOMPARE(registerAt(reply, 0), 2); // the broadcast and this read
    QCOMPARE(registerAt(reply, 5), 9); // written by the broadcast
}

void TestWirelarkSlave::liveRegisters()
{
    // The simulator's clock starts after the launch and before the line that names its port.
    QElapsedTimer sinceLaunch;
    sinceLaunch.start();
    startAndOpen({});
    QElapsedTimer sinceAnnounced;
    sinceAnnounced.start();

    for (int request = 1; request <= 3; ++request) {
        QVERIFY(m_port->write(hex("01 03 00 00 00 03 05 CB")));
        const QByteArray reply = m_port->read(11);
        QCOMPARE(reply.size(), 11);
        QCOMPARE(reply.left(3), hex("01 03 06"));
        QCOMPARE(reply, withCrc(reply.left(9)));
        QCOMPARE(registerAt(reply, 0), request); // requests served, this one included
        QVERIFY(registerAt(reply, 1) <= sinceLaunch.elapsed() / 1000); // whole seconds
        QCOMPARE(registerAt(reply, 2), request - 1);                   // the ramp starts at 0
    }

    // The input registers 0 to 2 are the same live values.
    QVERIFY(m_port->write(hex("01 04 00 00 00 03 B0 0B")));
    QByteArray reply = m_port->read(11);
    QCOMPARE(reply.size(), 11);
    QCOMPARE(reply, withCrc(reply.left(9)));
    QCOMPARE(registerAt(reply, 0), 4);
    QCOMPARE(registerAt(reply, 2), 3);

    // A value written to a live register is overwritten before the next reply.
    QVERIFY(m_port->write(hex("01 06 00 00 77 77 EE 1C")));
    QCOMPARE(m_port->read(8), hex("01 06 00 00 77 77 EE 1C"));
    QVERIFY(m_port->write(hex("01 03 00 00 00 03 05 CB")));
    reply = m_port->read(11);
    QCOMPARE(reply.size(), 11);
    QCOMPARE(registerAt(reply, 0), 6);
    QCOMPARE(registerAt(reply, 2), 5);

    // One second after the simulator announced itself, the seconds register reads at least 1.
    QTest::qWait(static_cast<int>(std::max<qint64>(0, 1100 - sinceAnnounced.elapsed())));
    QVERIFY(m_port->write(hex("01 03 00 00 00 03 05 CB")));
    reply = m_port->read(11);
    QCOMPARE(reply.size(), 11);
    QVERIFY(registerAt(reply, 1) >= 1);
    QVERIFY(registerAt(reply, 1) <= sinceLaunch.elapsed() / 1000);
}

void TestWirelarkSlave::writesStay()
{
    startAndOpen({});
    QVERIFY(m_port->write(hex("01 06 00 07 12 34 35 7C")));
    QCOMPARE(m_port->read(8), hex("01 06 00 07 12 34 35 7C"));
    QVERIFY(m_port->write(hex("01 10 00 03 00 02 04 AA BB CC DD 77 1E")));
    QCOMPARE(m_port->read(8), withCrc(hex("01 10 00 03 00 02")));

    QVERIFY(m_port->write(withCrc(hex("01 03 00 03 00 05"))));
    const QByteArray expected = withCrc(hex("01 03 0A AA BB CC DD 00 32 00 3C 12 34"));
    QCOMPARE(m_port->read(expected.size()).toHex(' '), expected.toHex(' '));
}

void TestWirelarkSlave::backToBackRequests()
{
    startAndOpen({});
    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B 01 04 00 05 00 01 21 CB")));
    const QByteArray expected =
        withCrc(hex("01 03 04 00 1E 00 28")) + withCrc(hex("01 04 02 03 ED"));
    QCOMPARE(m_port->read(expected.size()).toHex(' '), expected.toHex(' '));
}

// libmodbus takes the frame after a request for another slave as that slave's reply; on a
// line with no other slave, the next request must still be served.
void TestWirelarkSlave::otherSlaveIgnoredThenServed()
{
    startAndOpen({});
    QVERIFY(m_port->write(hex("02 03 00 00 00 02 C4 38")));
    QCOMPARE(m_port->readFor(kQuietMs).toHex(' '), QByteArray());
    QVERIFY(
        m_simulator->waitForLine(QRegularExpression("ignored: for slave 2$"), kReplyMs).hasMatch());

    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
    const QByteArray expected = withCrc(hex("01 03 04 00 1E 00 28"));
    QCOMPARE(m_port->read(expected.size()).toHex(' '), expected.toHex(' '));
}

void TestWirelarkSlave::broadcastWriteCarriedOutWithoutReply()
{
    startAndOpen({});
    QVERIFY(m_port->write(hex("00 06 00 05 12 34 95 6D")));
    QCOMPARE(m_port->readFor(kQuietMs).toHex(' '), QByteArray());

    QVERIFY(m_port->write(hex("01 03 00 05 00 01 94 0B")));
    const QByteArray expected = withCrc(hex("01 03 02 12 34"));
    QCOMPARE(m_port->read(expected.size()).toHex(' '), expected.toHex(' '));
}

void TestWirelarkSlave::badFramesDropped_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("note");
    QTest::newRow("wrong CRC") << hex("01 03 00 00 00 02 C4 0C") << "dropped: Invalid CRC";
    QTest::newRow("too short") << hex("01 03 00 00") << "dropped: incomplete frame";
    QTest::newRow("one byte") << hex("01") << "dropped: incomplete frame";
    QTest::newRow("request without CRC") << hex("01 03 00 00 00 02") << "dropped: incomplete frame";
}

void TestWirelarkSlave::badFramesDropped()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, note);

    startAndOpen({});
    QVERIFY(m_port->write(frame));
    QCOMPARE(m_port->readFor(kQuietMs).toHex(' '), QByteArray());
    QVERIFY2(m_simulator
                 ->waitForLine(QRegularExpression(QRegularExpression::escape(note) + "$"), kReplyMs)
                 .hasMatch(),
             qPrintable(m_simulator->output()));

    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
    const QByteArray expected = withCrc(hex("01 03 04 00 1E 00 28"));
    QCOMPARE(m_port->read(expected.size()).toHex(' '), expected.toHex(' '));
}

void TestWirelarkSlave::silentNeverReplies()
{
    startAndOpen({"--silent"});
    QVERIFY(m_port->write(hex("01 03 00 00 00 02 C4 0B")));
    QCOMPARE(m_port->readFor(kQuietMs + 200).toHex(' '), QByteArray());
    QVERIFY(
        m_simulator->waitForLine(QRegularExpression(" request 01 03 00 00 00 02 C4 0B$"), kReplyMs)
            .hasMatch());
    QVERIFY(m_simulator->waitForLine(QRegularExpression("no reply: silent$"), kReplyMs).hasMatch());
}

void TestWirelarkSlave::delayHoldsReply()
{
    constexpr int kDelayMs = 400;
    startAndOpen({"--delay", QString::number(kDelayMs)});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
    const QByteArray expected = withCrc(hex("01 03 04 00 1E 00 28"));
    QCOMPARE(m_port->read(expected.size(), kDelayMs + kReplyMs).toHex(' '), expected.toHex(' '));
    QVERIFY2(clock.elapsed() >= kDelayMs, qPrintable(QString::number(clock.elapsed())));
}

void TestWirelarkSlave::faultedReplies_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<QByteArray>>("expected"); // what arrives for each request, in turn

    const QByteArray request = hex("01 03 00 03 00 02 34 0B");
    const QByteArray body = hex("01 03 04 00 1E 00 28");
    const QByteArray good = withCrc(body);
    QByteArray bad = good; // both CRC bytes inverted
    bad[7] = static_cast<char>(~bad.at(7));
    bad[8] = static_cast<char>(~bad.at(8));
    QTest::newRow("--bad-crc 2: every second reply")
        << QStringList{"--bad-crc", "2"} << request << QList<QByteArray>{good, bad, good, bad};
    QTest::newRow("--short 3") << QStringList{"--short", "3"} << request
                               << QList<QByteArray>{good.left(6)};
    QTest::newRow("--short 9 leaves nothing")
        << QStringList{"--short", "9"} << request << QList<QByteArray>{{}, {}};
    QTest::newRow("--bad-crc 1 --short 1: the CRC's first byte stays wrong")
        << QStringList{"--bad-crc", "1", "--short", "1"} << request
        << QList<QByteArray>{bad.left(8)};
    QTest::newRow("--echo") << QStringList{"--echo"} << request
                            << QList<QByteArray>{request + good, request + good};
    QTest::newRow("--echo --silent: only the echo")
        << QStringList{"--echo", "--silent"} << request << QList<QByteArray>{request};
    QTest::newRow("--echo --exception 2 --speed 115200 --usb-latency 5")
        << QStringList{"--echo", "--exception", "2", "--speed", "115200", "--usb-latency", "5"}
        << request << QList<QByteArray>{request + withCrc(hex("01 83 02"))};
}

void TestWirelarkSlave::faultedReplies()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, request);
    QFETCH(QList<QByteArray>, expected);

    startAndOpen(arguments);
    for (const QByteArray &bytes : expected) {
        QVERIFY(m_port->write(request));
        const QByteArray got =
            bytes.isEmpty() ? m_port->readFor(kQuietMs) : m_port->read(bytes.size());
        QCOMPARE(got.toHex(' '), bytes.toHex(' '));
    }
}

// The reply's bytes reach the master as they would end on the line: the first after the
// request's characters, the frame gap, the turnaround and one character, the last a whole
// reply's characters later.
void TestWirelarkSlave::pacedReplyTakesWireTime_data()
{
    QTest::addColumn<QString>("settings");
    QTest::newRow("9600,N,8,1") << "9600,N,8,1";
    QTest::newRow("9600,E,8,2") << "9600,E,8,2";
}

void TestWirelarkSlave::pacedReplyTakesWireTime()
{
    QFETCH(QString, settings);
    serial::CommSettings line;
    QVERIFY(!serial::parseSettings(settings, line));
    constexpr int kTurnaroundMs = 2;
    startAndOpen({"--speed", settings.section(',', 0, 0), "--settings", settings.section(',', 1),
                  "--turnaround", QString::number(kTurnaroundMs)});

    const qsizetype replyBytes = 5 + 2 * 30;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_port->write(readRegisters(30)));
    const QList<double> times = m_port->arrivals(replyBytes, clock);
    QCOMPARE(times.size(), replyBytes);

    const double wait =
        static_cast<double>((serial::charactersTime(line, 8) + serial::frameGap(line)).count()) /
            1e6 +
        kTurnaroundMs;
    const double first = wait + static_cast<double>(serial::charactersTime(line, 1).count()) / 1e6;
    const double last =
        wait + static_cast<double>(serial::charactersTime(line, replyBytes).count()) / 1e6;
    const QString figures = QString::asprintf("first %.2f ms (due %.2f), last %.2f ms (due %.2f)",
                                              times.first(), first, times.last(), last);
    QVERIFY2(times.first() >= 0.9 * first, qPrintable(figures));
    QVERIFY2(times.last() >= 0.9 * last, qPrintable(figures));
    QVERIFY2(times.last() - times.first() >= 0.9 * (last - first), qPrintable(figures));
    QVERIFY2(times.last() <= last + 1000, qPrintable(figures));
}

// A master at another speed than the line's gets what its UART makes of the reply: a few
// bytes, never a frame from any byte on. Back at the line's speed, it gets the reply.
void TestWirelarkSlave::wrongSpeedGarbles_data()
{
    QTest::addColumn<int>("masterSpeed");
    QTest::newRow("twice the line's") << 19200;
    QTest::newRow("half the line's") << 4800;
    QTest::newRow("twelve times") << 115200;
    QTest::newRow("an eighth") << 1200;
}

void TestWirelarkSlave::wrongSpeedGarbles()
{
    QFETCH(int, masterSpeed);
    startAndOpen({"--speed", "9600"});
    const QByteArray request = hex("01 03 00 03 00 02 34 0B");
    for (const int speed : {masterSpeed, 9600}) {
        QVERIFY(m_port->setSpeed(speed));
        QVERIFY(m_port->write(request));
        const QByteArray got = m_port->readFor(kQuietMs);
        if (speed == 9600) {
            QCOMPARE(got.toHex(' '), withCrc(hex("01 03 04 00 1E 00 28")).toHex(' '));
            continue;
        }
        QVERIFY2(!got.isEmpty() && !holdsFrame(got), got.toHex(' '));
        const QString note("garbled: the master receives at %1 baud, the line runs at 9600$");
        QVERIFY(m_simulator->waitForLine(QRegularExpression(note.arg(speed)), kReplyMs).hasMatch());
    }
}

// The tap hears the request and the reply, in order, and not the echo, which only the
// master's adapter hears; a reader at another speed hears garble.
void TestWirelarkSlave::tapCarriesTheBus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("tapSpeed");
    QTest::addColumn<int>("earliestMs"); // before which the request's last byte is not heard

    QTest::newRow("request and reply, no echo") << QStringList{"--echo"} << 0 << 0;
    QTest::newRow("at 9600 the request's last byte after its wire time")
        << QStringList{"--speed", "9600"} << 9600 << 7;
    QTest::newRow("USB latency 200 ms")
        << QStringList{"--speed", "115200", "--usb-latency", "200"} << 115200 << 180;
    QTest::newRow("the tap's reader at 19200, the line at 9600")
        << QStringList{"--speed", "9600"} << 19200 << 0;
}

void TestWirelarkSlave::tapCarriesTheBus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, tapSpeed);
    QFETCH(int, earliestMs);

    const QString link = m_configHome->path() + "/tap";
    startAndOpen(arguments + QStringList{"--tap", link});
    QCOMPARE(QFileInfo(link).symLinkTarget(), m_simulator->tapDevicePath());
    RawPort tap(link);
    QVERIFY(tap.isOpen());
    if (tapSpeed != 0)
        QVERIFY(tap.setSpeed(tapSpeed));

    const QByteArray request = hex("01 03 00 03 00 02 34 0B");
    const QByteArray bus = request + withCrc(hex("01 03 04 00 1E 00 28"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_port->write(request));
    QByteArray heard;
    const QList<double> times = tap.arrivals(request.size(), clock, kReplyMs, &heard);
    QVERIFY(times.size() >= request.size());
    QVERIFY2(times.at(request.size() - 1) >= earliestMs, qPrintable(QString::number(times.last())));
    if (tapSpeed != 19200) {
        heard += tap.read(bus.size() - heard.size());
        QCOMPARE(heard.toHex(' '), bus.toHex(' '));
    } else {
        heard += tap.readFor(kQuietMs);
        QVERIFY2(!heard.isEmpty() && !holdsFrame(heard), heard.toHex(' '));
    }
    QCOMPARE(m_simulator->stopWith(SIGTERM), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

// Nobody opens the tap, or its reader never reads: the master is served all the same, and
// the end says how many bytes the tap could not carry.
void TestWirelarkSlave::tapNeverBlocks_data()
{
    QTest::addColumn<bool>("opened");
    QTest::newRow("nobody opens it") << false;
    QTest::newRow("its reader never reads") << true;
}

void TestWirelarkSlave::tapNeverBlocks()
{
    QFETCH(bool, opened);
    const QString link = m_configHome->path() + "/tap";
    startAndOpen({"--quiet", "--tap", link});
    std::unique_ptr<RawPort> tap = opened ? std::make_unique<RawPort>(link) : nullptr;
    constexpr int kExchanges = 150; // 213 bytes each: more than a pseudo-terminal holds
    for (int k = 0; k < kExchanges; ++k) {
        QVERIFY(m_port->write(readRegisters(100)));
        QCOMPARE(m_port->read(205).size(), 205);
    }
    QCOMPARE(m_simulator->stopWith(SIGTERM), 0);
    const QRegularExpressionMatch totals =
        QRegularExpression(
            R"(\nTap: written (\d+) bytes, dropped (\d+) \(its reader fell behind\), )"
            R"(lost (\d+) \(nobody had it open\)\n)")
            .match(m_simulator->output());
    QVERIFY2(totals.hasMatch(), qPrintable(m_simulator->output()));
    const int written = totals.captured(1).toInt();
    const int dropped = totals.captured(2).toInt();
    const int lost = totals.captured(3).toInt();
    QCOMPARE(written + dropped + lost, kExchanges * (8 + 205));
    QVERIFY(opened ? dropped > 0 && written > 0 : lost == kExchanges * (8 + 205));
}

// The same slaves over TCP, beside the pseudo-terminal or instead of it; one client at a time,
// one that leaves in the middle of a request does not stop the next, and one that closes its
// sending side still gets its reply.
void TestWirelarkSlave::tcpRoundTrip_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("replyBody");
    QTest::addColumn<int>("earliestMs");

    QTest::newRow("beside the pseudo-terminal")
        << QStringList{"--tcp", "0"} << hex("01 03 00 03 00 02 34 0B")
        << hex("01 03 04 00 1E 00 28") << 0;
    QTest::newRow("instead of it, slave 9 behind a gateway's faults")
        << QStringList{"--no-pty", "--tcp", "0", "--address", "9", "--exception", "0x0A"}
        << withCrc(hex("09 03 00 00 00 01")) << hex("09 83 0A") << 0;
    QTest::newRow("at 1200 baud: request, gap, turnaround and reply")
        << QStringList{"--tcp", "0", "--speed", "1200"} << hex("01 03 00 03 00 02 34 0B")
        << hex("01 03 04 00 1E 00 28") << (8 + 4 + 9) * 8;
}

void TestWirelarkSlave::tcpRoundTrip()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, replyBody);
    QFETCH(int, earliestMs);

    QVERIFY2(m_simulator->start(m_configHome->path(), arguments),
             qPrintable(m_simulator->output()));
    const QByteArray reply = withCrc(replyBody);
    {
        RawPort leaver(m_simulator->tcpPort());
        QVERIFY(leaver.isOpen() && leaver.write(request.left(3)));
    }
    RawPort client(m_simulator->tcpPort());
    QVERIFY(client.isOpen());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(client.write(request));
    RawPort second(m_simulator->tcpPort());
    QCOMPARE(second.readFor(kReplyMs), QByteArray()); // closed at once
    QVERIFY(client.shutdownWrite());                  // as socat does at the end of its input
    QCOMPARE(client.read(reply.size()).toHex(' '), reply.toHex(' '));
    QVERIFY2(clock.elapsed() >= earliestMs, qPrintable(QString::number(clock.elapsed())));

    if (!arguments.contains("--no-pty")) {
        m_port = std::make_unique<RawPort>(m_simulator->linkPath());
        QVERIFY(m_port->setSpeed(arguments.contains("1200") ? 1200 : 9600));
        QVERIFY(m_port->write(request));
        QCOMPARE(m_port->read(reply.size()).toHex(' '), reply.toHex(' '));
    }
    QCOMPARE(m_simulator->stopWith(SIGTERM), 0);
    QVERIFY2(m_simulator->output().contains("\nTCP: clients 2, refused 1 (one at a time)\n"),
             qPrintable(m_simulator->output()));
}

// Bytes gather until the latency timer expires or 62 are in: a short reply waits for the
// timer, a long one sends 62 at once.
void TestWirelarkSlave::usbLatencyHoldsBytes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("registers");
    QTest::addColumn<int>("earlyBytes"); // arriving before the latency has passed

    QTest::newRow("9 bytes wait") << QStringList{} << 2 << 0;
    QTest::newRow("85 bytes: 62 at once, 23 wait") << QStringList{} << 40 << 62;
    QTest::newRow("85 bytes at 115200: 62 as they gather, 23 wait")
        << QStringList{"--speed", "115200"} << 40 << 62;
}

void TestWirelarkSlave::usbLatencyHoldsBytes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, registers);
    QFETCH(int, earlyBytes);
    constexpr int kLatencyMs = 200;

    startAndOpen(arguments + QStringList{"--usb-latency", QString::number(kLatencyMs)});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_port->write(readRegisters(registers)));
    const QList<double> times = m_port->arrivals(5 + 2 * registers, clock);
    QCOMPARE(times.size(), 5 + 2 * registers);
    const auto early =
        std::count_if(times.begin(), times.end(), [](double ms) { return ms < 0.9 * kLatencyMs; });
    QCOMPARE(early, earlyBytes);
}

// A reply of 15 bytes at 300 baud is on the line for 500 ms, and a frame gap is 117 ms. The
// second request goes out while the first reply is still on the line, right after its end, or
// after the frame gap.
void TestWirelarkSlave::collisionsAndGapsCounted_data()
{
    QTest::addColumn<int>("afterBytes"); // of the first reply, before the second request
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<QString>("totals");

    QTest::newRow("during the reply")
        << 5 << 0 << "requests 2, replies 2, collisions 1, short gaps 0";
    QTest::newRow("right after the reply")
        << 15 << 0 << "requests 2, replies 2, collisions 0, short gaps 1";
    QTest::newRow("after the frame gap")
        << 15 << 300 << "requests 2, replies 2, collisions 0, short gaps 0";
}

void TestWirelarkSlave::collisionsAndGapsCounted()
{
    QFETCH(int, afterBytes);
    QFETCH(int, pauseMs);
    QFETCH(QString, totals);

    startAndOpen({"--speed", "300"});
    const QByteArray request = readRegisters(5);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_port->write(request));
    const qsizetype got = m_port->arrivals(afterBytes, clock).size();
    QVERIFY(got >= afterBytes);
    QTest::qSleep(pauseMs);
    QVERIFY(m_port->write(request));
    QCOMPARE(m_port->read(30 - got).size(), 30 - got);

    QCOMPARE(m_simulator->stopWith(SIGTERM), 0);
    const QString output = m_simulator->output();
    QVERIFY2(output.contains("\nTotals: " + totals + "\n"), qPrintable(output));
    // A request during the reply came while 10 characters of 33.3 ms were still to go.
    const QRegularExpressionMatch match =
        QRegularExpression(
            " collision 1: request ([\\d.]+) ms before the reply ended on the line\n")
            .match(output);
    QCOMPARE(match.hasMatch(), afterBytes < 15);
    QVERIFY2(match.captured(1).toDouble() <= 10 * 33.34, qPrintable(output));
}

// The reply line shows the bytes sent, faults included.
void TestWirelarkSlave::trafficLines()
{
    startAndOpen({"--bad-crc", "1"});
    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
    const QByteArray reply = m_port->read(9);
    QCOMPARE(reply.left(7), hex("01 03 04 00 1E 00 28"));
    QVERIFY(reply != withCrc(hex("01 03 04 00 1E 00 28")));

    const QString stamp = QStringLiteral(R"(^([01]\d|2[0-3]):[0-5]\d:[0-5]\d\.\d{3} )");
    QVERIFY2(
        m_simulator
            ->waitForLine(QRegularExpression(stamp + "request 01 03 00 03 00 02 34 0B$"), kReplyMs)
            .hasMatch(),
        qPrintable(m_simulator->output()));
    QVERIFY2(
        m_simulator
            ->waitForLine(QRegularExpression(stamp + "reply   " +
                                             QString::fromLatin1(reply.toHex(' ').toUpper()) + "$"),
                          kReplyMs)
            .hasMatch(),
        qPrintable(m_simulator->output()));
}

void TestWirelarkSlave::quietPrintsNoTraffic()
{
    startAndOpen({"--quiet"});
    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
    QCOMPARE(m_port->read(9), withCrc(hex("01 03 04 00 1E 00 28")));
    QVERIFY(m_port->write(hex("02 03 00 00 00 02 C4 38")));
    QCOMPARE(m_port->readFor(kQuietMs), QByteArray());
    QCOMPARE(m_simulator->stopWith(SIGTERM), 0);
    const QStringList lines = m_simulator->output().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith("Serving slave 1 on "));
    QCOMPARE(lines.at(1), "Totals: requests 2, replies 1, collisions 0, short gaps 0");
    QVERIFY(lines.at(2).startsWith("Stopped by SIGTERM; removed "));
}

void TestWirelarkSlave::stopRemovesLink_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGTERM") << SIGTERM << "SIGTERM";
    QTest::newRow("SIGINT (Ctrl-C)") << SIGINT << "SIGINT";
    QTest::newRow("SIGHUP") << SIGHUP << "SIGHUP";
}

void TestWirelarkSlave::stopRemovesLink()
{
    QFETCH(int, signal);
    QFETCH(QString, name);

    startAndOpen({});
    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
    QCOMPARE(m_port->read(9).size(), 9);

    const QString link = m_simulator->linkPath();
    QCOMPARE(m_simulator->stopWith(signal), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(m_simulator->output().contains("Stopped by " + name + "; removed " + link));
}

void TestWirelarkSlave::replacedLinkIsLeft()
{
    startAndOpen({});
    const QString link = m_simulator->linkPath();
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link("/dev/null", link));

    QCOMPARE(m_simulator->stopWith(SIGTERM), 0);
    QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/null"));
}

void TestWirelarkSlave::defaultPortSkipsTakenNumbers()
{
    const QString directory = portDirectory();
    QVERIFY(QDir().mkpath(directory));
    for (int n = 1; n <= 3; ++n)
        QVERIFY(QFile::link("/dev/null", directory + "/com" + QString::number(n)));
    QVERIFY(QFile::link("/nonexistent/wirelark-test", directory + "/com4"));

    // The machine's own serial ports take numbers too; the lowest number left is expected.
    QSet<int> taken{1, 2, 3};
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome->path()));
    for (const serial::MappedPort &port : serial::scanSystemPorts())
        taken.insert(port.number);
    if (savedConfigHome.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedConfigHome);
    int expected = 1;
    while (taken.contains(expected))
        ++expected;

    startAndOpen({});
    QCOMPARE(int(m_simulator->portNumber()), expected);
    QCOMPARE(m_simulator->linkPath(), directory + "/com" + QString::number(expected));
    for (int n = 1; n <= 3; ++n)
        QCOMPARE(QFileInfo(directory + "/com" + QString::number(n)).symLinkTarget(),
                 QStringLiteral("/dev/null"));
    QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
    QCOMPARE(m_port->read(9).size(), 9);
}

void TestWirelarkSlave::explicitPort_data()
{
    QTest::addColumn<QString>("existing"); // what com5 is before: "", "live", "dangling", "file"
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("serves");

    QTest::newRow("free") << "" << QStringList{"--port", "5"} << true;
    QTest::newRow("free, value after =") << "" << QStringList{"--port=5"} << true;
    QTest::newRow("dangling link replaced") << "dangling" << QStringList{"--port", "5"} << true;
    QTest::newRow("link to a live device refused") << "live" << QStringList{"--port", "5"} << false;
    QTest::newRow("regular file refused") << "file" << QStringList{"--port", "5"} << false;
}

void TestWirelarkSlave::explicitPort()
{
    QFETCH(QString, existing);
    QFETCH(QStringList, arguments);
    QFETCH(bool, serves);

    const QString link = portDirectory() + "/com5";
    QVERIFY(QDir().mkpath(portDirectory()));
    if (existing == "live") {
        QVERIFY(QFile::link("/dev/null", link));
    } else if (existing == "dangling") {
        QVERIFY(QFile::link("/nonexistent/wirelark-test", link));
    } else if (existing == "file") {
        QFile file(link);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
    }

    if (serves) {
        startAndOpen(arguments);
        QCOMPARE(int(m_simulator->portNumber()), 5);
        QCOMPARE(m_simulator->linkPath(), link);
        QVERIFY(m_port->write(hex("01 03 00 03 00 02 34 0B")));
        QCOMPARE(m_port->read(9).size(), 9);
        return;
    }

    QCOMPARE(m_simulator->runToEnd(m_configHome->path(), arguments), 1);
    QVERIFY2(m_simulator->errorOutput().contains(link), "the message names the link");
    if (existing == "live") {
        QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/null"));
    } else {
        QFile file(link);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep"));
    }
    QCOMPARE(
        QDir(portDirectory()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
        QStringList{"com5"});
}

void TestWirelarkSlave::wrongCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("address 0 (broadcast)") << QStringList{"--address", "0"};
    QTest::newRow("address 248") << QStringList{"--address", "248"};
    QTest::newRow("address list with 0") << QStringList{"--address", "5,0"};
    QTest::newRow("address range backwards") << QStringList{"--address", "7-5"};
    QTest::newRow("address list with an empty item") << QStringList{"--address", "1,,2"};
    QTest::newRow("gateway with address") << QStringList{"--gateway", "--address", "2"};
    QTest::newRow("gateway with exception") << QStringList{"--gateway", "--exception", "4"};
    QTest::newRow("port 0") << QStringList{"--port", "0"};
    QTest::newRow("port 32768") << QStringList{"--port", "32768"};
    QTest::newRow("port not a number") << QStringList{"--port", "5x"};
    QTest::newRow("port without value") << QStringList{"--port"};
    QTest::newRow("negative delay") << QStringList{"--delay", "-1"};
    QTest::newRow("delay over a minute") << QStringList{"--delay", "60001"};
    QTest::newRow("flag with a value") << QStringList{"--silent=1"};
    QTest::newRow("speed 49") << QStringList{"--speed", "49"};
    QTest::newRow("settings without speed") << QStringList{"--settings", "N,8,1"};
    QTest::newRow("turnaround without speed") << QStringList{"--turnaround", "1"};
    QTest::newRow("mark parity") << QStringList{"--speed", "9600", "--settings", "M,8,1"};
    QTest::newRow("1.5 stop bits") << QStringList{"--speed", "9600", "--settings", "N,8,1.5"};
    QTest::newRow("usb latency 0") << QStringList{"--usb-latency", "0"};
    QTest::newRow("usb latency 256") << QStringList{"--usb-latency", "256"};
    QTest::newRow("bad-crc 0") << QStringList{"--bad-crc", "0"};
    QTest::newRow("short 256") << QStringList{"--short", "256"};
    QTest::newRow("exception 0x100") << QStringList{"--exception", "0x100"};
    QTest::newRow("exception B without 0x") << QStringList{"--exception", "B"};
    QTest::newRow("no-pty without tcp") << QStringList{"--no-pty"};
    QTest::newRow("no-pty with port") << QStringList{"--no-pty", "--tcp", "0", "--port", "5"};
    QTest::newRow("tcp 65536") << QStringList{"--tcp", "65536"};
    QTest::newRow("tap without a path") << QStringList{"--tap="};
    QTest::newRow("unknown option") << QStringList{"--baud", "9600"};
    QTest::newRow("stray argument") << QStringList{"5"};
}

void TestWirelarkSlave::wrongCommandLine()
{
    QFETCH(QStringList, arguments);
    QCOMPARE(m_simulator->runToEnd(m_configHome->path(), arguments), 2);
    QVERIFY(m_simulator->errorOutput().startsWith("wirelark-slave: "));
    QVERIFY(!QFileInfo::exists(portDirectory()));
}

void TestWirelarkSlave::helpServesNothing()
{
    QCOMPARE(m_simulator->runToEnd(m_configHome->path(), {"--help"}), 0);
    QVERIFY(m_simulator->output().startsWith("Usage: wirelark-slave [options]"));
    QVERIFY(!QFileInfo::exists(portDirectory()));
}

QTEST_GUILESS_MAIN(TestWirelarkSlave)
#include "tst_wirelarkslave.moc"
