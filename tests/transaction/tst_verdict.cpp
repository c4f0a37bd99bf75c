#include "transaction/exchangeoutcome.h"
#include "transaction/logline.h"
#include "transaction/verdict.h"

#include "support/referencecrc.h"

#include <QTest>

using S = transaction::Verdict::Summary;
using transaction::EchoTaken;
using namespace std::chrono_literals;
Q_DECLARE_METATYPE(S)
Q_DECLARE_METATYPE(EchoTaken)

class TestVerdict : public QObject
{
    Q_OBJECT

private slots:
    void judge_data();
    void judge();
    void outcome_data();
    void outcome();
};

static QByteArray (*const framed)(const QByteArray &) = withReferenceCrc;
// Read 2 registers from slave 01 and its reply; the texts show CRCs in wire order.
static const QByteArray r2 = framed("010300000002"), a2 = framed("010304000A000B");
static const QString crcA2 = QString::fromLatin1(a2.right(2).toHex().toUpper());

void TestVerdict::judge_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<S>("summary");
    QTest::addColumn<int>("neededMs");
    QTest::addColumn<QString>("text"); // a part of verdictText()
    QTest::addColumn<EchoTaken>("echo");
    const auto timed = [](const char *name, const char *settings, int waitMs,
                          const QByteArray &request, const QByteArray &reply, S summary,
                          int neededMs, const QString &text,
                          EchoTaken echo = EchoTaken::NotExpected) {
        QTest::newRow(name) << QString::fromLatin1(settings) << waitMs << request << reply
                            << summary << neededMs << text << echo;
    };
    const auto row = [&](const char *name, const QByteArray &request, const QByteArray &reply,
                         S summary, const QString &text, EchoTaken echo = EchoTaken::NotExpected) {
        timed(name, "9600,N,8,1", 100, request, reply, summary, -1, text, echo);
    };
    const QByteArray w6 = framed("010600010003");
    row("good read reply", r2, a2, S::Valid,
        "Valid reply: CRC " + crcA2 +
            " good; slave 01, function 03; 9 of 9 bytes; first byte 1.2 ms, last byte 2.1 ms "
            "after the request");
    row("bad CRC", r2, a2.chopped(2) + QByteArray(2, '\0'), S::BadCrc,
        "Bad CRC: got 0000, expected " + crcA2 + "\nCRC 0000 bad, expected " + crcA2);
    const QStringList names = QString("Illegal function|Illegal data address|Illegal data value|"
                                      "Server device failure|Acknowledge|Server device busy|"
                                      "Negative acknowledge|Memory parity error|Unknown exception|"
                                      "Gateway path unavailable|Gateway target device failed to "
                                      "respond|Unknown exception")
                                  .split('|');
    for (int code = 1; code <= 12; ++code) {
        const QByteArray hex = QByteArray::number(code, 16).rightJustified(2, '0').toUpper();
        const QByteArray reply = framed("0183" + hex);
        row(("exception " + hex).constData(), r2, reply, S::Exception,
            "Exception " + hex + ": " + names[code - 1] + "\nCRC " +
                reply.right(2).toHex().toUpper() + " good");
    }
    row("short by 3", r2, a2.first(6), S::Short, "Short by 3 bytes\nCRC 0A00 bad");
    // Two zero bytes after a whole frame would be its CRC residue and check as good.
    row("long by 2", r2, a2 + "\x12\x34", S::Long, "Long by 2 bytes\nCRC 1234 bad");
    row("echo in front, FC 03", r2, r2 + a2, S::Echo,
        "in front of the reply (an adapter that reads back what it sends)\nAfter the echo: CRC " +
            crcA2 + " good; slave 01, function 03; 9 of 9 bytes");
    row("echo in front, FC 06", w6, w6 + w6, S::Echo, "After the echo: CRC");
    row("FC 06 reply equals the request", w6, w6, S::Valid, "8 of 8 bytes");
    row("echo alone, FC 03", r2, r2, S::Echo, "only the 8 request bytes");
    // An echo expected, and taken off before the verdict (or not found).
    row("echo taken off, FC 03", r2, a2, S::Valid, "9 of 9 bytes", EchoTaken::Removed);
    row("echo taken off, FC 06", w6, w6, S::Valid, "8 of 8 bytes", EchoTaken::Removed);
    row("echo taken off, nothing after", r2, {}, S::Echo, "only the 8 request bytes",
        EchoTaken::Removed);
    row("echo taken off a broadcast", framed("000600010003"), {}, S::NoReply, "as it should be",
        EchoTaken::Removed);
    row("echo missing", r2, a2, S::NoEcho, "No echo: the bytes that came back do not begin",
        EchoTaken::Missing);
    row("wrong slave", r2, framed("020304000A000B"), S::WrongSlave,
        "Wrong slave: reply from 02, request to 01");
    row("wrong function", r2, framed("010404000A000B"), S::WrongFunction,
        "Wrong function: 04 in the reply, 03 in the request\nCRC");
    row("empty reply", r2, {}, S::NoReply, "No reply");
    row("FC 01, 19 coils in 3 bytes", framed("010100000013"), framed("010103CD6B05"), S::Valid,
        "8 of 8 bytes");
    row("FC 01, 9 coils in 2 bytes", framed("010100000009"), framed("010101FF"), S::Short,
        "Short by 1 byte");
    row("FC 02, 8 inputs in 1 byte", framed("010200000008"), framed("01020155"), S::Valid,
        "6 of 6 bytes");
    row("FC 0F", framed("010F00000010"), framed("010F00000010"), S::Valid,
        "function 0F; 8 of 8 bytes");
    row("FC 10", framed("011000010002"), framed("011000010002"), S::Valid,
        "function 10; 8 of 8 bytes");
    row("unknown FC", framed("011100000000"), framed("0111020102"), S::Valid,
        "7 bytes, no known length for function 11");
    // Whole requests of any length, as the poller, the scanner and the monitor send them.
    const QByteArray w10 = framed("01100001000204000A000B"), w0f = framed("010F0000000A02CD01");
    row("FC 10, whole request", w10, framed("011000010002"), S::Valid, "8 of 8 bytes");
    row("FC 10, echo alone", w10, w10, S::Echo, "only the 13 request bytes came back");
    row("FC 0F, whole request", w0f, framed("010F0000000A"), S::Valid, "8 of 8 bytes");
    row("FC 17, its reply", framed("01170000000200010001020007"), framed("011704000A000B"),
        S::Valid, "9 of 9 bytes");
    row("FC 17, no write part", framed("011700000002"), framed("011704000A000B"), S::Valid,
        "9 bytes, no known length for function 17");
    row("FC 05 reply equals the request", framed("0105000AFF00"), framed("0105000AFF00"), S::Valid,
        "8 of 8 bytes");
    // 13 + 8 characters and the gap at 9600 8N1: 25.5 ms.
    timed("FC 10, 25 ms", "9600,N,8,1", 25, w10, {}, S::NoReply, 26, "the 26 ms");
    timed("FC 10 broadcast", "9600,N,8,1", 1, framed("00100001000204000A000B"), {}, S::NoReply, 0,
          "No reply, as it should be");

    // The wait against the time the exchange takes on the wire.
    // 8 + 9 characters and a 3.5-character gap of 10 bits at 9600 bit/s: 21.4 ms.
    timed("9600 N,8,1, 21 ms", "9600,N,8,1", 21, r2, {}, S::NoReply, 22,
          "No reply: the wait of 21 ms is shorter than the 22 ms the exchange needs on the "
          "wire at 9600 N,8,1");
    timed("9600 N,8,1, 22 ms", "9600,N,8,1", 22, r2, {}, S::NoReply, 22, "");
    timed("short reply after 10 ms", "9600,N,8,1", 10, r2, a2.first(6), S::Short, 22,
          "Short by 3 bytes: the wait ended before the reply; at 9600 N,8,1 the exchange needs "
          "22 ms on the wire, the wait was 10 ms\nCRC 0A00 bad");
    timed("valid reply, wait too short", "9600,N,8,1", 5, r2, a2, S::Valid, 22, "\nThe wait of");
    // The same at 115200 bit/s: 1.78 ms.
    timed("115200 N,8,1, 1 ms", "115200,N,8,1", 1, r2, {}, S::NoReply, 2, "at 115200 N,8,1");
    timed("9600 E,8,1: 11 bits", "9600,E,8,1", 23, r2, a2, S::Valid, 24, "24 ms");
    timed("9600 E,7,1.5: 10.5 bits", "9600,E,7,1.5", 23, r2, a2, S::Valid, 23, "");
    timed("broadcast", "9600,N,8,1", 1, framed("000600010003"), {}, S::NoReply, 0,
          "No reply, as it should be: a broadcast");
}

void TestVerdict::judge()
{
    QFETCH(QString, settings);
    QFETCH(int, waitMs);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(S, summary);
    QFETCH(int, neededMs); // -1: not checked (a 100 ms wait)
    QFETCH(QString, text);
    QFETCH(EchoTaken, echo);

    serial::CommSettings line;
    QVERIFY(!serial::parseSettings(settings, line).failed());
    const auto t = std::chrono::steady_clock::time_point(5s);
    const auto wait = std::chrono::milliseconds(waitMs);
    const auto v = transaction::judgeReply(QByteArrayView(request), reply,
                                           {t, t + 1200us, t + 2100us, wait}, line, echo);
    QCOMPARE(v.summary, summary);
    QCOMPARE(v.valid, summary == S::Valid);
    const QString shown = transaction::verdictText(v);
    QVERIFY2(shown.contains(text), qPrintable(shown));
    if (neededMs >= 0) {
        QCOMPARE(v.neededWaitMs, neededMs);
        QCOMPARE(v.waitTooShort, shown.contains(QLatin1String("the exchange needs")));
        QCOMPARE(v.waitTooShort, waitMs < neededMs);
    }
}

void TestVerdict::outcome_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("countText"); // as the field stands when the outcome is shown
    QTest::addColumn<bool>("passed");
    QTest::addColumn<QStringList>("readouts");
    QTest::newRow("valid") << r2 << a2 << "0002" << true << QStringList{"10", "11", ""};
    QTest::newRow("count changed since") << r2 << a2 << "0001" << true << QStringList{"10", "", ""};
    QTest::newRow("no reply") << r2 << QByteArray() << "0002" << false << QStringList{"", "", ""};
    QTest::newRow("no reply to a broadcast")
        << framed("000600010003") << QByteArray() << "0002" << true << QStringList{"", "", ""};
    // Read-outs decode bytes 3 and 4 of any reply: here the CRC of an exception.
    const QByteArray exception = framed("018302");
    QTest::newRow("exception")
        << r2 << exception << "0002" << false
        << QStringList{QString::number(quint8(exception[3]) * 256 + quint8(exception[4])), "", ""};
}

void TestVerdict::outcome()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, countText);
    QFETCH(bool, passed);
    QFETCH(QStringList, readouts);
    frame::RequestFrame sent{};
    std::copy_n(request.cbegin(), sent.size(), sent.begin());
    const auto t = std::chrono::steady_clock::time_point(5s);
    transaction::ExchangeResult result;
    result.reply = reply;
    result.times = {t, t + 1200us, t + 2100us, 100ms};
    const auto o = transaction::exchangeOutcome(sent, result, serial::CommSettings{}, countText);
    QCOMPARE(o.passed, passed);
    QCOMPARE(QStringList(o.readouts.begin(), o.readouts.end()), readouts);
    QCOMPARE(o.request, request);
    QCOMPARE(o.logLine, transaction::logLine(reply));
    QCOMPARE(o.verdictText, transaction::verdictText(o.verdict));
    QCOMPARE(o.verdict.lastByteAfter.has_value(), !reply.isEmpty());
}

QTEST_GUILESS_MAIN(TestVerdict)
#include "tst_verdict.moc"
