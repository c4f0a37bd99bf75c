#include "transaction/verdict.h"

#include "support/referencecrc.h"

#include <QTest>

using transaction::Verdict;
using S = Verdict::Summary;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(S)

namespace
{

// The bytes given in hex with their reference CRC appended, low byte first.
QByteArray withCrc(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    const quint16 crc = referenceCrc16(bytes);
    return bytes + char(crc & 0xFF) + char(crc >> 8);
}

// The reference CRC of the bytes given in hex, in wire order as the texts show it.
QString crcOf(const QByteArray &hex)
{
    return QString::fromLatin1(withCrc(hex).right(2).toHex().toUpper());
}

Verdict judged(const QByteArray &request, const QByteArray &reply, int waitMs,
               const QString &settings = QStringLiteral("9600,N,8,1"))
{
    frame::RequestFrame sent{};
    std::copy_n(request.cbegin(), sent.size(), sent.begin());
    serial::CommSettings line;
    [&] {
        QVERIFY(!serial::parseSettings(settings, line).failed());
    }();
    const auto t = std::chrono::steady_clock::time_point(5s);
    const auto wait = waitMs < 0 ? std::nullopt : std::optional(std::chrono::milliseconds(waitMs));
    return transaction::judgeReply(sent, reply, {t, t + 1200us, t + 2100us, wait}, line);
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
    QTest::addColumn<S>("summary");
    QTest::addColumn<int>("expectedLength"); // -1: unknown
    QTest::addColumn<int>("lengthDifference");
    QTest::addColumn<QString>("text"); // a part of verdictText()

    const QByteArray read2 = withCrc("010300000002");
    const QByteArray reply2 = withCrc("010304000A000B");
    const QByteArray write6 = withCrc("010600010003");
    const QString replyCrc = crcOf("010304000A000B");
    QTest::newRow("good read reply")
        << read2 << reply2 << S::Valid << 9 << 0
        << "Valid reply: CRC " + replyCrc +
               " good; slave 01, function 03; 9 of 9 bytes; first byte 1.2 ms, last byte 2.1 ms "
               "after the request";
    QTest::newRow("bad CRC") << read2 << reply2.chopped(2) + QByteArray(2, '\0') << S::BadCrc << 9
                             << 0 << "Bad CRC: got 0000, expected " + replyCrc;
    const QStringList names =
        QStringLiteral(
            "Illegal function|Illegal data address|Illegal data value|Server device failure|"
            "Acknowledge|Server device busy|Negative acknowledge|Memory parity error|Unknown "
            "exception|Gateway path unavailable|Gateway target device failed to respond|Unknown "
            "exception")
            .split(QLatin1Char('|'));
    for (int code = 1; code <= 12; ++code) {
        const QByteArray hex = QByteArray::number(code, 16).rightJustified(2, '0').toUpper();
        QTest::addRow("exception %s", hex.constData())
            << read2 << withCrc("0183" + hex) << S::Exception << 5 << 0
            << "Exception " + hex + ": " + names[code - 1] + "\nCRC " + crcOf("0183" + hex) +
                   " good; slave 01, function 83; 5 of 5 bytes";
    }
    QTest::newRow("short by 3") << read2 << reply2.first(6) << S::Short << 9 << -3
                                << "Short by 3 bytes\nCRC 0A00 bad";
    QTest::newRow("short by 1") << read2 << reply2.first(8) << S::Short << 9 << -1
                                << "Short by 1 byte\n";
    QTest::newRow("too short for a CRC")
        << read2 << QByteArray::fromHex("0103") << S::Short << 9 << -7 << "too short for a CRC";
    // Two zero bytes after a whole frame would be its CRC residue and check as good.
    QTest::newRow("long by 2") << read2 << reply2 + "\x12\x34" << S::Long << 9 << 2
                               << "Long by 2 bytes\nCRC 1234 bad";
    QTest::newRow("echo in front, FC 03") << read2 << read2 + reply2 << S::Echo << 9 << 0
                                          << "in front of the reply (an adapter that reads back "
                                             "what it sends)\nAfter the echo: CRC " +
                                                 replyCrc + " good";
    QTest::newRow("echo in front, FC 06")
        << write6 << write6 + write6 << S::Echo << 8 << 0 << "After the echo: CRC";
    QTest::newRow("FC 06 reply equals the request")
        << write6 << write6 << S::Valid << 8 << 0 << "8 of 8 bytes";
    QTest::newRow("echo alone, FC 03")
        << read2 << read2 << S::Echo << 9 << -9 << "only the 8 request bytes";
    QTest::newRow("wrong slave") << read2 << withCrc("020304000A000B") << S::WrongSlave << 9 << 0
                                 << "Wrong slave: reply from 02, request to 01";
    QTest::newRow("wrong function") << read2 << withCrc("010404000A000B") << S::WrongFunction << -1
                                    << 0 << "Wrong function: 04 in the reply, 03 in the request";
    QTest::newRow("empty reply") << read2 << QByteArray() << S::NoReply << -1 << 0 << "No reply";
    QTest::newRow("FC 01, 19 coils in 3 bytes")
        << withCrc("010100000013") << withCrc("010103CD6B05") << S::Valid << 8 << 0
        << "8 of 8 bytes";
    QTest::newRow("FC 01, 9 coils need 2 bytes") << withCrc("010100000009") << withCrc("010101FF")
                                                 << S::Short << 7 << -1 << "Short by 1 byte";
    QTest::newRow("FC 02, 8 inputs in 1 byte")
        << withCrc("010200000008") << withCrc("01020155") << S::Valid << 6 << 0 << "6 of 6 bytes";
    QTest::newRow("FC 0F") << withCrc("010F00000010") << withCrc("010F00000010") << S::Valid << 8
                           << 0 << "function 0F";
    QTest::newRow("FC 10") << withCrc("011000010002") << withCrc("011000010002") << S::Valid << 8
                           << 0 << "function 10";
    QTest::newRow("FC 10, its exception") << withCrc("011000010002") << withCrc("019002")
                                          << S::Exception << 5 << 0 << "function 90; 5 of 5 bytes";
    QTest::newRow("unknown FC") << withCrc("011100000000") << withCrc("0111020102") << S::Valid
                                << -1 << 0 << "7 bytes, no known length for function 11";
}

void TestVerdict::judge()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(S, summary);
    QFETCH(int, expectedLength);
    QFETCH(int, lengthDifference);
    QFETCH(QString, text);

    const Verdict v = judged(request, reply, 100);
    QCOMPARE(v.summary, summary);
    QCOMPARE(v.valid, summary == S::Valid || summary == S::Exception);
    QCOMPARE(v.expectedLength.value_or(-1), expectedLength);
    QCOMPARE(v.lengthDifference, lengthDifference);
    const QString shown = transaction::verdictText(v);
    QVERIFY2(shown.contains(text), qPrintable(shown));
}

void TestVerdict::wait_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("wait"); // -1: unknown
    QTest::addColumn<int>("neededMs");
    QTest::addColumn<QString>("text"); // a part of verdictText()

    const QByteArray read2 = withCrc("010300000002");
    const QByteArray reply2 = withCrc("010304000A000B");
    const QString n81 = QStringLiteral("9600,N,8,1");
    // 8 + 9 characters and a 3.5-character gap of 10 bits at 9600 bit/s: 21.4 ms.
    QTest::newRow("9600 N,8,1, short reply after 10 ms")
        << n81 << read2 << reply2.first(6) << 10 << 22
        << "Short by 3 bytes: the wait ended before the reply; at 9600 N,8,1 the exchange needs 22 "
           "ms on the wire, the wait was 10 ms";
    QTest::newRow("9600 N,8,1, 21 ms") << n81 << read2 << QByteArray() << 21 << 22
                                       << "No reply: the wait of 21 ms is shorter than the 22 ms";
    QTest::newRow("9600 N,8,1, 22 ms") << n81 << read2 << QByteArray() << 22 << 22 << "";
    QTest::newRow("9600 N,8,1, wait unknown") << n81 << read2 << reply2 << -1 << 22 << "";
    QTest::newRow("valid reply, wait too short")
        << n81 << read2 << reply2 << 5 << 22
        << "\nThe wait of 5 ms is shorter than the 22 ms the exchange needs on the wire at 9600 "
           "N,8,1";
    // 20.5 characters of 10 bits at 115200 bit/s: 1.78 ms.
    QTest::newRow("115200 N,8,1, 1 ms")
        << "115200,N,8,1" << read2 << QByteArray() << 1 << 2 << "at 115200 N,8,1";
    QTest::newRow("115200 N,8,1, 2 ms") << "115200,N,8,1" << read2 << QByteArray() << 2 << 2 << "";
    QTest::newRow("9600 E,8,1: 11 bits") << "9600,E,8,1" << read2 << reply2 << 20 << 24 << "24 ms";
    QTest::newRow("19200 E,7,1.5: 10.5 bits")
        << "19200,E,7,1.5" << read2 << reply2 << 12 << 12 << "";
    // 125 registers: 8 + 255 characters and the gap, 11 bits each: 305.4 ms.
    QTest::newRow("9600 N,8,2, 125 registers")
        << "9600,N,8,2" << withCrc("01030000007D") << QByteArray() << 300 << 306 << "306 ms";
    // 8 + 5 characters and the gap: 17.2 ms.
    QTest::newRow("exception reply") << n81 << read2 << withCrc("018302") << 17 << 18 << "18 ms";
    QTest::newRow("broadcast, no reply") << n81 << withCrc("000600010003") << QByteArray() << 1 << 0
                                         << "No reply, as it should be: a broadcast";
    QTest::newRow("unknown FC, no reply")
        << n81 << withCrc("011100000000") << QByteArray() << 1 << 0 << "";
}

void TestVerdict::wait()
{
    QFETCH(QString, settings);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, wait);
    QFETCH(int, neededMs);
    QFETCH(QString, text); // empty: the wait is long enough, nothing says otherwise

    const Verdict v = judged(request, reply, wait, settings);
    QCOMPARE(v.neededWaitMs, neededMs);
    QCOMPARE(v.waitTooShort, !text.isEmpty() && !text.startsWith(QLatin1String("No reply,")));
    const QString shown = transaction::verdictText(v);
    QVERIFY2(shown.contains(text), qPrintable(shown));
    QCOMPARE(shown.contains(QLatin1String("the exchange needs")), v.waitTooShort);
}

QTEST_GUILESS_MAIN(TestVerdict)
#include "tst_verdict.moc"
