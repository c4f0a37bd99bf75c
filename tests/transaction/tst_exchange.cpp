// The exchange engine over a fake serial component, with no window and no display.
#include "support/fakeserialcomm.h"
#include "support/referencecrc.h"
#include "transaction/exchange.h"

#include <QTest>
#include <QTimer>

using transaction::Clock;
using transaction::Exchange;
using transaction::ExchangeEnd;
using transaction::ExchangeResult;
using transaction::ReplyEnd;

Q_DECLARE_METATYPE(ExchangeEnd)

namespace
{

const QByteArray kRequest = QByteArray::fromHex("010300000002C40B");
const QByteArray kReply = QByteArray::fromHex("010304000A000B9BF6");

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// What the observer is told, in order, with the time of each call.
struct Recorder : transaction::ExchangeObserver {
    QStringList events;
    std::vector<Clock::time_point> times;

    void requestWritten(const QByteArray &request, Clock::time_point when) override
    {
        events << QStringLiteral("written ") + QString::fromLatin1(request.toHex());
        times.push_back(when);
    }
    void replyRead(const QByteArray &reply, const ExchangeResult &) override
    {
        events << QStringLiteral("read ") + QString::fromLatin1(reply.toHex());
        times.push_back(Clock::now());
    }
};

serial::CommError failure(int number)
{
    return serial::CommError::make(number, QStringLiteral("refused"));
}

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void steps_data();
    void steps();
    void duringTheWait_data();
    void duringTheWait();
    void bytesArrivingInPieces();
    void requestWaitsForASilentLine_data();
    void requestWaitsForASilentLine();
    void endsAtTheFrame_data();
    void endsAtTheFrame();

private:
    FakeSerialComm m_comm;
    Recorder m_recorder;
};

void TestExchange::init()
{
    m_comm = FakeSerialComm();
    m_comm.open = true;
    m_recorder = Recorder();
}

void TestExchange::steps_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("portOpenAtFailure");
    QTest::addColumn<ExchangeEnd>("end");
    QTest::addColumn<QStringList>("calls");
    const QString output = QStringLiteral("Output=01 03 00 00 00 02 C4 0B");
    const QStringList all{"InBufferCount=0", output, "Input"};
    QTest::newRow("none") << "" << true << ExchangeEnd::Completed << all;
    QTest::newRow("discard") << "InBufferCount" << true << ExchangeEnd::Failed << all.mid(0, 1);
    QTest::newRow("write") << "Output" << true << ExchangeEnd::Failed << all.mid(0, 2);
    QTest::newRow("read") << "Input" << true << ExchangeEnd::Failed << all;
    QTest::newRow("read, port closed") << "Input" << false << ExchangeEnd::PortClosed << all;
}

void TestExchange::steps()
{
    QFETCH(QString, failing);
    QFETCH(bool, portOpenAtFailure);
    QFETCH(ExchangeEnd, end);
    QFETCH(QStringList, calls);
    const serial::CommError error =
        failure(portOpenAtFailure ? serial::CommError::DeviceLost : serial::CommError::NotOpen);
    if (failing == QLatin1String("InBufferCount"))
        m_comm.failures.setInBufferCount = error;
    else if (failing == QLatin1String("Output"))
        m_comm.failures.output = error;
    else if (failing == QLatin1String("Input"))
        m_comm.failures.input = error;
    // Bytes waiting before the exchange are discarded; the reply arrives after the write.
    m_comm.received = QByteArray::fromHex("EEEE");
    m_comm.onOutput = [this, portOpenAtFailure](const QByteArray &) {
        m_comm.deliver(kReply);
        m_comm.open = portOpenAtFailure;
    };
    Exchange exchange(m_comm);
    exchange.setObserver(&m_recorder);
    const ExchangeResult result = exchange.run(kRequest, 5);

    QCOMPARE(m_comm.calls, calls);
    QCOMPARE(result.end, end);
    QCOMPARE(result.error.number, failing.isEmpty() ? 0 : error.number);
    QCOMPARE(result.times.written.has_value(),
             calls.size() >= 2 && failing != QLatin1String("Output"));
    QCOMPARE(result.reply, end == ExchangeEnd::Completed ? kReply : QByteArray());
    QCOMPARE(m_recorder.events.contains(QStringLiteral("read ") + kReply.toHex()),
             end == ExchangeEnd::Completed);
}

void TestExchange::duringTheWait_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<ExchangeEnd>("end");
    QTest::addColumn<bool>("read");
    QTest::newRow("operator closes the port") << "close" << ExchangeEnd::PortClosed << true;
    QTest::newRow("device lost") << "lose" << ExchangeEnd::Failed << true;
    QTest::newRow("window closes") << "abandon" << ExchangeEnd::Abandoned << false;
}

// Each ends the 2 s wait at once; only an abandoned one reads nothing and runs no more.
void TestExchange::duringTheWait()
{
    QFETCH(QString, event);
    QFETCH(ExchangeEnd, end);
    QFETCH(bool, read);
    bool closing = false;
    Exchange exchange(m_comm);
    exchange.setAbandon([&closing] { return closing; });
    QTimer::singleShot(30, this, [&] {
        if (event == QLatin1String("abandon")) {
            closing = true;
            return;
        }
        m_comm.open = false;
        if (event == QLatin1String("lose"))
            m_comm.failures.input = failure(serial::CommError::DeviceLost);
    });
    const Clock::time_point start = Clock::now();
    const ExchangeResult result = exchange.run(kRequest, 2000);
    QVERIFY2(msBetween(start, Clock::now()) < 1000, "the wait ran on");
    QCOMPARE(result.end, end);
    QCOMPARE(m_comm.calls.contains(QStringLiteral("Input")), read);

    m_comm.calls.clear();
    m_comm.open = true;
    m_comm.failures = {};
    const ExchangeResult next = exchange.run(kRequest, 0);
    QCOMPARE(next.end, read ? ExchangeEnd::Completed : ExchangeEnd::Abandoned);
    QCOMPARE(m_comm.calls.isEmpty(), !read);
}

void TestExchange::bytesArrivingInPieces()
{
    m_comm.onOutput = [this](const QByteArray &) {
        QTimer::singleShot(10, this, [this] { m_comm.deliver(kReply.mid(0, 2)); });
        QTimer::singleShot(25, this, [this] { m_comm.deliver(kReply.mid(2, 3)); });
        QTimer::singleShot(40, this, [this] { m_comm.deliver(kReply.mid(5)); });
    };
    Exchange exchange(m_comm);
    exchange.setObserver(&m_recorder);
    const ExchangeResult result = exchange.run(kRequest, 80);

    QCOMPARE(result.end, ExchangeEnd::Completed);
    QCOMPARE(result.reply, kReply);
    // Arrivals are noted without being taken: the one read at the end gets every byte.
    QCOMPARE(m_recorder.events,
             (QStringList{"written 010300000002c40b", "read 010304000a000b9bf6"}));
    QVERIFY(result.times.written && result.times.firstByte && result.times.lastByte);
    QCOMPARE(*result.times.written, m_recorder.times.at(0));
    const double first = msBetween(*result.times.written, *result.times.firstByte);
    const double last = msBetween(*result.times.written, *result.times.lastByte);
    QVERIFY2(first >= 10 && first < 25, qPrintable(QString::number(first)));
    QVERIFY2(last >= 40 && last < 80, qPrintable(QString::number(last)));
    QVERIFY(msBetween(*result.times.written, m_recorder.times.back()) >= 80);
}

void TestExchange::requestWaitsForASilentLine_data()
{
    QTest::addColumn<QString>("settings");
    // 0: one byte just before the request; -1: one byte at the port, not yet seen.
    QTest::addColumn<int>("talkingEveryMs");
    QTest::addColumn<bool>("rule");
    QTest::addColumn<double>("minHeldMs");
    QTest::addColumn<double>("maxHeldMs");
    // A frame gap is 3.5 characters: 3.65 ms at 9600 8N1; 1.75 ms above 19200 baud.
    QTest::newRow("byte just before, 9600") << "9600,N,8,1" << 0 << true << 3.0 << 9.0;
    QTest::newRow("byte just before, 115200") << "115200,N,8,1" << 0 << true << 1.2 << 7.0;
    QTest::newRow("byte just before, rule off") << "9600,N,8,1" << 0 << false << 0.0 << 1.0;
    QTest::newRow("byte not yet seen, 9600") << "9600,N,8,1" << -1 << true << 3.0 << 9.0;
    // A device that never stops talking holds the request for one wait (40 ms), no longer.
    QTest::newRow("talking all the time") << "9600,N,8,1" << 1 << true << 39.0 << 60.0;
}

void TestExchange::requestWaitsForASilentLine()
{
    QFETCH(QString, settings);
    QFETCH(int, talkingEveryMs);
    QFETCH(bool, rule);
    QFETCH(double, minHeldMs);
    QFETCH(double, maxHeldMs);
    QVERIFY(!serial::parseSettings(settings, m_comm.line));
    Exchange exchange(m_comm);
    exchange.setSilenceRule(rule);
    QTimer talker;
    connect(&talker, &QTimer::timeout, this, [this] { m_comm.deliver("\x55"); });
    talker.setTimerType(Qt::PreciseTimer);
    m_comm.onOutput = [&talker](const QByteArray &) {
        talker.stop();
    };
    if (talkingEveryMs > 0) {
        talker.start(talkingEveryMs);
        QTest::qWait(5);
    }
    if (talkingEveryMs < 0)
        m_comm.unseen = "\x55";
    else
        m_comm.deliver("\x55");
    const ExchangeResult result = exchange.run(kRequest, 40);
    const double held = std::chrono::duration<double, std::milli>(result.times.held).count();
    QVERIFY2(held >= minHeldMs && held <= maxHeldMs, qPrintable(QString::number(held)));
    QCOMPARE(result.end, ExchangeEnd::Completed);
    // What talked before the request is discarded as ever.
    QCOMPARE(m_comm.calls.first(), QStringLiteral("InBufferCount=0"));
    QCOMPARE(result.reply, QByteArray());
}

void TestExchange::endsAtTheFrame_data()
{
    QTest::addColumn<QByteArray>("request");
    // "ms:hex" for each piece, delivered that long after the write.
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<bool>("atFrame");
    // The end of the wait after the last byte (after the write when none came), in ms: well below
    // 3.5 characters when the frame ended it, well below the 300 ms wait when a silence did.
    QTest::addColumn<double>("minEndMs");
    QTest::addColumn<double>("maxEndMs");
    const QString reply = QString::fromLatin1(kReply.toHex());
    const QString badCrc = reply.left(reply.size() - 2) + QStringLiteral("00");
    const QByteArray unknown = withReferenceCrc("012B0E0100");
    // At 1200 baud 8N1 a character takes 8.33 ms: 3.5 of them are 29.2 ms, 8 are 66.7 ms. The
    // slow line keeps the frame's end and the silence apart on a busy machine.
    QTest::newRow("complete at once")
        << kRequest << QStringList{"5:" + reply} << 0 << true << 0.0 << 20.0;
    QTest::newRow("in pieces, gaps above 3.5 characters")
        << kRequest
        << QStringList{"5:" + reply.mid(0, 4), "45:" + reply.mid(4, 6), "85:" + reply.mid(10)} << 0
        << true << 0.0 << 20.0;
    QTest::newRow("exception") << kRequest << QStringList{"5:" + withReferenceCrc("018302").toHex()}
                               << 0 << true << 0.0 << 20.0;
    QTest::newRow("wrong CRC at full length")
        << kRequest << QStringList{"5:" + badCrc} << 0 << true << 29.1 << 150.0;
    QTest::newRow("echo in front")
        << kRequest << QStringList{"2:" + kRequest.toHex(), "12:" + reply} << 0 << true << 0.0
        << 20.0;
    QTest::newRow("unknown function")
        << unknown << QStringList{"5:" + withReferenceCrc("012B0E01").toHex()} << 0 << true << 29.1
        << 150.0;
    QTest::newRow("another slave, a USB latency timer")
        << kRequest << QStringList{"5:02" + reply.mid(2)} << 20 << true << 49.1 << 200.0;
    QTest::newRow("silent slave") << kRequest << QStringList{} << 0 << false << 300.0 << 400.0;
    QTest::newRow("bytes after the frame")
        << kRequest << QStringList{"5:" + reply + "EE"} << 0 << true << 0.0 << 20.0;
    const QByteArray broadcast = withReferenceCrc("000600010003");
    QTest::newRow("broadcast") << broadcast << QStringList{} << 0 << true << 95.8 << 200.0;
    // An echo expected: the reply of 06 equals its echo, and ends the wait only after it.
    const QByteArray write = withReferenceCrc("010600010003");
    QTest::newRow("echo first, FC 06")
        << write << QStringList{"2:" + write.toHex(), "150:" + write.toHex()} << 0 << true << 0.0
        << 20.0;
    QTest::newRow("echo first, garbled")
        << kRequest << QStringList{"2:" + kRequest.toHex().replace("03", "07"), "12:" + reply} << 0
        << true << 29.1 << 150.0;
    QTest::newRow("echo first, broadcast")
        << broadcast << QStringList{"2:" + broadcast.toHex()} << 0 << true << 95.8 << 200.0;
}

void TestExchange::endsAtTheFrame()
{
    QFETCH(QByteArray, request);
    QFETCH(QStringList, pieces);
    QFETCH(int, latencyMs);
    QFETCH(bool, atFrame);
    QFETCH(double, minEndMs);
    QFETCH(double, maxEndMs);
    // Rows named "echo first" expect the adapter's echo.
    const bool echoFirst = QByteArray(QTest::currentDataTag()).startsWith("echo first");
    QByteArray sent;
    m_comm.latency = std::chrono::milliseconds(latencyMs);
    m_comm.onOutput = [&](const QByteArray &) {
        for (const QString &piece : pieces) {
            const QByteArray bytes = QByteArray::fromHex(piece.section(':', 1).toLatin1());
            sent += bytes;
            QTimer::singleShot(piece.section(':', 0, 0).toInt(), Qt::PreciseTimer, this,
                               [this, bytes] { m_comm.deliver(bytes); });
        }
    };
    QVERIFY(!m_comm.setSettings(QStringLiteral("1200,N,8,1")));
    Exchange exchange(m_comm);
    exchange.setObserver(&m_recorder);
    exchange.setReplyEnd(ReplyEnd::FrameEnd);
    exchange.setEchoFirst(echoFirst);
    const ExchangeResult result = exchange.run(request, 300);
    // An echo found is taken off; the reply's first byte is the first after it.
    const bool echoed = echoFirst && sent.startsWith(request);
    QCOMPARE(result.echo, !echoFirst ? transaction::EchoTaken::NotExpected
                          : echoed   ? transaction::EchoTaken::Removed
                                     : transaction::EchoTaken::Missing);
    if (echoed) {
        sent.remove(0, request.size());
        QVERIFY(sent.isEmpty() || msBetween(*result.times.written, *result.times.firstByte) > 40);
    }

    QCOMPARE(result.end, ExchangeEnd::Completed);
    QCOMPARE(result.endedAtFrame, atFrame);
    QVERIFY(result.ended && result.times.written);
    const Clock::time_point from = result.times.lastByte.value_or(*result.times.written);
    const double end = msBetween(from, *result.ended);
    QVERIFY2(end >= minEndMs && end <= maxEndMs, qPrintable(QString::number(end)));
    // Read as they came, every byte reaches the result and the observer once.
    QCOMPARE(result.reply, sent);
    QCOMPARE(m_recorder.events.last(), QStringLiteral("read ") + sent.toHex());
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
