#include "transaction/verdict.h"

#include "support/referencecrc.h"

#include <QTest>

using transaction::Verdict;
using Summary = Verdict::Summary;
using Crc = Verdict::Crc;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Summary)
Q_DECLARE_METATYPE(Crc)

namespace
{

// The bytes given in hex with their reference CRC appended, low byte first.
QByteArray withCrc(const char *hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    const quint16 crc = referenceCrc16(bytes);
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

frame::RequestFrame requestOf(const QByteArray &bytes)
{
    frame::RequestFrame request{};
    std::copy_n(bytes.cbegin(), request.size(), request.begin());
    return request;
}

// "{crc}" in expected texts stands for the reference CRC of the reply (after an echo) in wire
// order.
QString withReferenceCrc(QString text, const QByteArray &reply)
{
    if (reply.size() < 2)
        return text;
    const quint16 crc = referenceCrc16(reply.chopped(2));
    return text.replace(QStringLiteral("{crc}"), QStringLiteral("%1%2")
                                                     .arg(crc & 0xFF, 2, 16, QLatin1Char('0'))
                                                     .arg(crc >> 8, 2, 16, QLatin1Char('0'))
                                                     .toUpper());
}

transaction::ReplyTimes timesWithWait(std::optional<std::chrono::milliseconds> wait)
{
    const auto written = std::chrono::steady_clock::time_point(5s);
    return {written, written + 1200us, written + 2100us, wait};
}

} // namespace

class TestVerdict : public QObject
{
    Q_OBJECT

private slots:
    void judge_data();
    void judge();
    void wait_data();
    void wait();
};

void TestVerdict::judge_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Summary>("summary");
    QTest::addColumn<int>("expectedLength"); // -1: unknown
    QTest::addColumn<int>("lengthDifference");
    QTest::addColumn<int>("exceptionCode");
    QTest::addColumn<int>("echoLength");
    QTest::addColumn<Crc>("crc");
    QTest::addColumn<QString>("text"); // a part of verdictText()

    const QByteArray read2 = withCrc("010300000002");
    const QByteArray reply2 = withCrc("010304000A000B");
    const QByteArray write6 = withCrc("010600010003");

    QTest::newRow("good read reply")
        << read2 << reply2 << Summary::Valid << 9 << 0 << 0 << 0 << Crc::Good
        << "Valid reply: CRC {crc} good; slave 01, function 03; 9 of 9 bytes; first byte 1.2 ms, "
           "last byte 2.1 ms after the request";
    QTest::newRow("bad CRC") << read2 << QByteArray::fromHex("010304000A000B0000")
                             << Summary::BadCrc << 9 << 0 << 0 << 0 << Crc::Bad
                             << "Bad CRC: got 0000, expected {crc}";
    const char *names[] = {"Illegal function",
                           "Illegal data address",
                           "Illegal data value",
                           "Server device failure",
                           "Acknowledge",
                           "Server device busy",
                           "Negative acknowledge",
                           "Memory parity error",
                           "Unknown exception",
                           "Gateway path unavailable",
                           "Gateway target device failed to respond",
                           "Unknown exception"};
    for (int code = 1; code <= 12; ++code) {
        const QByteArray body = "0183" + QByteArray::number(code, 16).rightJustified(2, '0');
        QTest::addRow("exception %02X", code)
            << read2 << withCrc(body.constData()) << Summary::Exception << 5 << 0 << code << 0
            << Crc::Good
            << QStringLiteral("Exception %1: %2").arg(body.mid(4).toUpper(), names[code - 1]);
    }
    QTest::newRow("short by 3") << read2 << reply2.first(6) << Summary::Short << 9 << -3 << 0 << 0
                                << Crc::Bad << "Short by 3 bytes\n";
    QTest::newRow("short by 1") << read2 << reply2.first(8) << Summary::Short << 9 << -1 << 0 << 0
                                << Crc::Bad << "Short by 1 byte\n";
    QTest::newRow("too short for a CRC") << read2 << QByteArray::fromHex("0103") << Summary::Short
                                         << 9 << -7 << 0 << 0 << Crc::Absent << "too short";
    QTest::newRow("long by 2") << read2 << reply2 + QByteArray("\x12\x34") << Summary::Long << 9
                               << 2 << 0 << 0 << Crc::Bad << "Long by 2 bytes\n";
    QTest::newRow("echo in front, FC 03")
        << read2 << read2 + reply2 << Summary::Echo << 9 << 0 << 0 << 8 << Crc::Good
        << "in front of the reply (an adapter that reads back what it sends)\nAfter the echo: CRC "
           "{crc} good";
    QTest::newRow("echo in front, FC 06") << write6 << write6 + write6 << Summary::Echo << 8 << 0
                                          << 0 << 8 << Crc::Good << "After the echo: CRC";
    QTest::newRow("FC 06 reply equals the request")
        << write6 << write6 << Summary::Valid << 8 << 0 << 0 << 0 << Crc::Good << "8 of 8 bytes";
    QTest::newRow("echo alone, FC 03") << read2 << read2 << Summary::Echo << 9 << -9 << 0 << 8
                                       << Crc::Absent << "only the 8 request bytes";
    QTest::newRow("wrong slave") << read2 << withCrc("020304000A000B") << Summary::WrongSlave << 9
                                 << 0 << 0 << 0 << Crc::Good
                                 << "Wrong slave: reply from 02, request to 01";
    QTest::newRow("wrong function")
        << read2 << withCrc("010404000A000B") << Summary::WrongFunction << -1 << 0 << 0 << 0
        << Crc::Good << "Wrong function: 04 in the reply, 03 in the request";
    QTest::newRow("empty reply") << read2 << QByteArray() << Summary::NoReply << -1 << 0 << 0 << 0
                                 << Crc::Absent << "No reply";
    QTest::newRow("FC 01, 19 coils in 3 bytes")
        << withCrc("010100000013") << withCrc("010103CD6B05") << Summary::Valid << 8 << 0 << 0 << 0
        << Crc::Good << "8 of 8 bytes";
    QTest::newRow("FC 01, 9 coils need 2 bytes")
        << withCrc("010100000009") << withCrc("010101FF") << Summary::Short << 7 << -1 << 0 << 0
        << Crc::Good << "Short by 1 byte";
    QTest::newRow("FC 02, 8 inputs in 1 byte")
        << withCrc("010200000008") << withCrc("01020155") << Summary::Valid << 6 << 0 << 0 << 0
        << Crc::Good << "6 of 6 bytes";
    QTest::newRow("FC 0F") << withCrc("010F00000010") << withCrc("010F00000010") << Summary::Valid
                           << 8 << 0 << 0 << 0 << Crc::Good << "function 0F";
    QTest::newRow("FC 10") << withCrc("011000010002") << withCrc("011000010002") << Summary::Valid
                           << 8 << 0 << 0 << 0 << Crc::Good << "function 10";
    QTest::newRow("FC 10 answered with FC 10's exception")
        << withCrc("011000010002") << withCrc("019002") << Summary::Exception << 5 << 0 << 2 << 0
        << Crc::Good << "function 90; 5 of 5 bytes";
    QTest::newRow("unknown FC") << withCrc("011100000000") << withCrc("0111020102")
                                << Summary::Valid << -1 << 0 << 0 << 0 << Crc::Good
                                << "7 bytes, no known length for function 11";
}

void TestVerdict::judge()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(Summary, summary);
    QFETCH(int, expectedLength);
    QFETCH(int, lengthDifference);
    QFETCH(int, exceptionCode);
    QFETCH(int, echoLength);
    QFETCH(Crc, crc);
    QFETCH(QString, text);

    const Verdict v = transaction::judgeReply(requestOf(request), reply, timesWithWait(100ms),
                                              serial::CommSettings{});
    QCOMPARE(v.summary, summary);
    QCOMPARE(v.valid, summary == Summary::Valid || summary == Summary::Exception);
    QCOMPARE(v.expectedLength.value_or(-1), expectedLength);
    QCOMPARE(v.lengthDifference, lengthDifference);
    QCOMPARE(v.exceptionCode, exceptionCode);
    QCOMPARE(v.echoLength, echoLength);
    QCOMPARE(v.crc, crc);
    const QByteArray body = reply.mid(echoLength);
    if (crc != Crc::Absent)
        QCOMPARE(v.crcExpected, referenceCrc16(body.chopped(2)));
    const QString shown = transaction::verdictText(v);
    QVERIFY2(shown.contains(withReferenceCrc(text, body)), qPrintable(shown));
}

void TestVerdict::wait_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("wait"); // -1: unknown
    QTest::addColumn<int>("neededMs");
    QTest::addColumn<bool>("tooShort");
    QTest::addColumn<QString>("text"); // a part of verdictText()

    const QByteArray read2 = withCrc("010300000002");
    const QByteArray reply2 = withCrc("010304000A000B");
    // 8 + 9 characters and a 3.5-character gap of 10 bits at 9600 bit/s: 21.4 ms.
    QTest::newRow("9600 N,8,1, short reply after 10 ms")
        << "9600,N,8,1" << read2 << reply2.first(6) << 10 << 22 << true
        << "Short by 3 bytes: the wait ended before the reply; at 9600 N,8,1 the exchange needs 22 "
           "ms on the wire, the wait was 10 ms";
    QTest::newRow("9600 N,8,1, 21 ms") << "9600,N,8,1" << read2 << QByteArray() << 21 << 22 << true
                                       << "No reply: the wait of 21 ms is shorter than the 22 ms";
    QTest::newRow("9600 N,8,1, 22 ms")
        << "9600,N,8,1" << read2 << QByteArray() << 22 << 22 << false << "No reply";
    QTest::newRow("9600 N,8,1, wait unknown")
        << "9600,N,8,1" << read2 << reply2 << -1 << 22 << false << "Valid reply";
    QTest::newRow("valid reply, wait too short")
        << "9600,N,8,1" << read2 << reply2 << 5 << 22 << true
        << "\nThe wait of 5 ms is shorter than the 22 ms the exchange needs on the wire at 9600 "
           "N,8,1";
    // 20.5 characters of 10 bits at 115200 bit/s: 1.78 ms.
    QTest::newRow("115200 N,8,1, 1 ms")
        << "115200,N,8,1" << read2 << QByteArray() << 1 << 2 << true << "at 115200 N,8,1";
    QTest::newRow("115200 N,8,1, 2 ms")
        << "115200,N,8,1" << read2 << QByteArray() << 2 << 2 << false << "No reply";
    QTest::newRow("9600 E,8,1: 11 bits")
        << "9600,E,8,1" << read2 << reply2 << 20 << 24 << true << "the 24 ms";
    QTest::newRow("19200 E,7,1.5: 10.5 bits")
        << "19200,E,7,1.5" << read2 << reply2 << 12 << 12 << false << "Valid reply";
    // 125 registers: 8 + 255 characters and the gap, 11 bits each: 305.4 ms.
    QTest::newRow("9600 N,8,2, 125 registers")
        << "9600,N,8,2" << withCrc("01030000007D") << QByteArray() << 300 << 306 << true
        << "the 306 ms";
    // 8 + 5 characters and the gap: 17.2 ms.
    QTest::newRow("exception reply, 5 bytes")
        << "9600,N,8,1" << read2 << withCrc("018302") << 17 << 18 << true << "the 18 ms";
    QTest::newRow("broadcast, no reply")
        << "9600,N,8,1" << withCrc("000600010003") << QByteArray() << 1 << 0 << false
        << "No reply, as it should be: a broadcast";
    QTest::newRow("unknown FC, no reply")
        << "9600,N,8,1" << withCrc("011100000000") << QByteArray() << 1 << 0 << false << "No reply";
}

void TestVerdict::wait()
{
    QFETCH(QString, settings);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, wait);
    QFETCH(int, neededMs);
    QFETCH(bool, tooShort);
    QFETCH(QString, text);

    serial::CommSettings line;
    QVERIFY(!serial::parseSettings(settings, line).failed());
    const auto times =
        timesWithWait(wait < 0 ? std::nullopt : std::optional(std::chrono::milliseconds(wait)));
    const Verdict v = transaction::judgeReply(requestOf(request), reply, times, line);
    QCOMPARE(v.neededWaitMs, neededMs);
    QCOMPARE(v.waitTooShort, tooShort);
    const QString shown = transaction::verdictText(v);
    QVERIFY2(shown.contains(text), qPrintable(shown));
}

QTEST_GUILESS_MAIN(TestVerdict)
#include "tst_verdict.moc"
