// The bus monitor's splitter by tables. A row gives the bytes as tokens: F<hex> a frame with its
// CRC appended ("|" inside cuts it into two reads), B<hex> the same with a wrong CRC, X<hex>
// raw bytes, "|" a new read, ~<ms> a silence; timed rows run at 9600 baud, each read arriving
// as its last byte ends. The result is one token per item: Q, R or N, "!" for a wrong CRC,
// <n the request a response answers (? none), /n the request a new one proves unanswered, @ms
// the response time, then ":" and the bytes in the same notation, parts joined by "+".
#include "sniff/framesplitter.h"
#include "support/referencecrc.h"

#include <QTest>

using sniff::SplitItem;
using sniff::Time;

namespace
{

constexpr std::chrono::nanoseconds kCharacter{1041667}; // 9600 baud, 10 bits

QByteArray bytesOf(const QString &token)
{
    QByteArray hex = token.mid(1).remove(QLatin1Char('|')).toLatin1();
    if (token.startsWith(QLatin1Char('X')))
        return QByteArray::fromHex(hex);
    QByteArray bytes = withReferenceCrc(hex);
    if (token.startsWith(QLatin1Char('B')))
        bytes[bytes.size() - 1] = char(bytes.back() ^ 0x55);
    return bytes;
}

QString render(const std::vector<SplitItem> &items)
{
    QStringList tokens;
    for (const SplitItem &item : items) {
        QString t = item.kind == SplitItem::Kind::Request    ? QStringLiteral("Q")
                    : item.kind == SplitItem::Kind::Response ? QStringLiteral("R")
                                                             : QStringLiteral("N");
        if (item.isFrame() && !item.crcGood)
            t += QLatin1Char('!');
        if (item.kind == SplitItem::Kind::Response)
            t += item.request ? QStringLiteral("<%1").arg(*item.request) : QStringLiteral("?");
        if (item.unanswered)
            t += QStringLiteral("/%1").arg(*item.unanswered);
        if (item.responseTime)
            t += QStringLiteral("@%1").arg(qRound(double(item.responseTime->count()) / 1e6));
        tokens << t + QLatin1Char(':') + QString::fromLatin1(item.bytes.toHex().toUpper());
    }
    return tokens.join(QLatin1Char(' '));
}

// The expected tokens with their byte notation turned into hex.
QString expand(const QString &expected)
{
    QStringList tokens;
    for (const QString &token : expected.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype colon = token.indexOf(QLatin1Char(':'));
        QByteArray bytes;
        for (const QString &part : token.mid(colon + 1).split(QLatin1Char('+')))
            bytes += bytesOf(part);
        tokens << token.left(colon + 1) + QString::fromLatin1(bytes.toHex().toUpper());
    }
    return tokens.join(QLatin1Char(' '));
}

// Feeds the tokens as reads and returns every item, the end of the input included.
std::vector<SplitItem> split(const QString &input, bool timed)
{
    sniff::SplitTiming timing;
    if (timed)
        timing = {true, kCharacter, kCharacter * 7 / 2, std::chrono::nanoseconds(0)};
    sniff::FrameSplitter splitter(timing);
    std::vector<SplitItem> items;
    const auto take = [&items](std::vector<SplitItem> more) {
        items.insert(items.end(), more.begin(), more.end());
    };
    Time now = std::chrono::milliseconds(100);
    QByteArray read;
    const auto flush = [&] {
        if (read.isEmpty())
            return;
        now += kCharacter * read.size();
        take(splitter.feed(read, now));
        read.clear();
    };
    for (const QString &token : input.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token == QLatin1String("|")) {
            flush();
        } else if (token.startsWith(QLatin1Char('~'))) {
            flush();
            now += std::chrono::milliseconds(token.mid(1).toInt());
            take(splitter.idle(now));
        } else {
            const qsizetype cut = token.indexOf(QLatin1Char('|'));
            const QByteArray bytes = bytesOf(token);
            if (cut > 0) {
                read += bytes.first((cut - 1) / 2);
                flush();
                read += bytes.sliced((cut - 1) / 2);
            } else {
                read += bytes;
            }
        }
    }
    flush();
    take(splitter.finish());
    return items;
}

} // namespace

class TestFrameSplitter : public QObject
{
    Q_OBJECT

private slots:
    void splits_data();
    void splits();
    void readsDoNotMatterWithoutTimes();
};

void TestFrameSplitter::splits_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("timed");
    QTest::addColumn<QString>("expected");

    const QString q03 = QStringLiteral("F010300000002");
    const QString r03 = QStringLiteral("F0103040001000A");
    QTest::newRow("glued request and response")
        << q03 + " " + r03 << false << "Q:" + q03 + " R<0:" + r03;
    QTest::newRow("cut in reads") << "F0103|00000002 | F01030400|01000A" << true
                                  << "Q:" + q03 + " R<0@0:" + r03;
    QTest::newRow("noise before") << "XAA55 " + q03 + " " + r03 << false
                                  << "N:XAA55 Q:" + q03 + " R<1:" + r03;
    QTest::newRow("noise inside a request")
        << "X010300FF00000002C40B " + r03 << false << "N:X010300FF00000002C40B R?:" + r03;
    QTest::newRow("noise between request and response")
        << q03 + " XFF " + r03 << false << "Q:" + q03 + " N:XFF R<0:" + r03;
    QTest::newRow("01 02 coils and inputs")
        << "F01010000000A F010102FF03 F010200100001 F01020101" << false
        << "Q:F01010000000A R<0:F010102FF03 Q:F010200100001 R<2:F01020101";
    QTest::newRow("04 input registers")
        << "F110400080001 F1104020102" << false << "Q:F110400080001 R<0:F1104020102";
    QTest::newRow("05 06 echo their request")
        << "F01050001FF00 F01050001FF00 F010600010003 F010600010003" << false
        << "Q:F01050001FF00 R<0:F01050001FF00 Q:F010600010003 R<2:F010600010003";
    QTest::newRow("0F 10 write multiple")
        << "F010F0000000A02FF03 F010F0000000A F0110000100020400010002 F011000010002" << false
        << "Q:F010F0000000A02FF03 R<0:F010F0000000A Q:F0110000100020400010002 "
           "R<2:F011000010002";
    QTest::newRow("17 read and write") << "F0117000000010001000102ABCD F011702BEEF" << false
                                       << "Q:F0117000000010001000102ABCD R<0:F011702BEEF";
    QTest::newRow("exception") << q03 + " F018302" << false << "Q:" + q03 + " R<0:F018302";
    QTest::newRow("wrong CRC on the waited reply") << q03 + " B0103040001000A " + q03 << false
                                                   << "Q:" + q03 + " R!<0:B0103040001000A Q:" + q03;
    QTest::newRow("wrong CRC before a silence")
        << "B010300000002 ~20 " + q03 << true << "Q!:B010300000002 Q/0:" + q03;
    QTest::newRow("wrong CRC at the end of the input")
        << "B010300000002" << false << "Q!:B010300000002";
    QTest::newRow("wrong CRC before a frame is noise")
        << "B010300000002 " + q03 << false << "N:B010300000002 Q:" + q03;
    QTest::newRow("request without response") << q03 + " F020300000001 F0203020007" << false
                                              << "Q:" + q03 + " Q/0:F020300000001 R<1:F0203020007";
    QTest::newRow("response without request") << r03 << false << "R?:" + r03;
    QTest::newRow("broadcast waits for none")
        << "F000600010003 " + q03 << false << "Q:F000600010003 Q:" + q03;
    QTest::newRow("request 02 whose first bytes read as a reply")
        << "XDC0202D5000B3B|00" << false << "Q:FDC0202D5000B";
    QTest::newRow("noise byte and request that read as a reply")
        << "X11 F030403DD001C ~20 F0304020001" << true
        << "N:X11 Q:F030403DD001C R<1@20:F0304020001";
    QTest::newRow("unknown function ends at a silence")
        << "F012B0E0100 ~10 B012B0E01000000 ~10 " + q03 << true
        << "Q:F012B0E0100 R!<0@10:B012B0E01000000 Q:" + q03;
    QTest::newRow("unknown function ends at a good CRC before a frame")
        << "F01410203 " + q03 << false << "Q:F01410203 Q/0:" + q03;
    QTest::newRow("unknown function after noise is noise")
        << q03 + " " + r03 + " XAA F01410203" << false
        << "Q:" + q03 + " R<0:" + r03 + " N:XAA+F01410203";
    QTest::newRow("silence cuts a frame")
        << "X01030000 ~20 " + q03 << true << "N:X01030000 Q:" + q03;
    QTest::newRow("USB batches") << "F010300000002 F01030400|01000A F0106|00010003 | F010600010003"
                                 << true
                                 << "Q:" + q03 + " R<0:" + r03 +
                                        " Q:F010600010003 R<2@0:F010600010003";
}

void TestFrameSplitter::splits()
{
    QFETCH(QString, input);
    QFETCH(bool, timed);
    QFETCH(QString, expected);
    QCOMPARE(render(split(input, timed)), expand(expected));
}

// Without times, a stream cut into reads of any size splits as it does in one piece.
void TestFrameSplitter::readsDoNotMatterWithoutTimes()
{
    QByteArray stream;
    for (int i = 0; i < 40; ++i) {
        stream += withReferenceCrc(QByteArray("0103") +
                                   QByteArray::number(i % 16, 16).rightJustified(4, '0') + "0002");
        stream += withReferenceCrc("01030400" + QByteArray::number(i, 16).rightJustified(2, '0') +
                                   "000A");
        if (i % 3 == 0)
            stream += char(i * 37);
    }
    const auto inReads = [&stream](qsizetype size) {
        sniff::FrameSplitter splitter;
        std::vector<SplitItem> items;
        for (qsizetype at = 0; at < stream.size(); at += size) {
            const auto more = splitter.feed(
                QByteArrayView(stream).sliced(at, std::min(size, stream.size() - at)), Time(0));
            items.insert(items.end(), more.begin(), more.end());
        }
        const auto more = splitter.finish();
        items.insert(items.end(), more.begin(), more.end());
        return render(items);
    };
    const QString whole = inReads(stream.size());
    QVERIFY(whole.count(QLatin1Char('Q')) == 40);
    for (const qsizetype size : {1, 3, 7, 64})
        QCOMPARE(inReads(size), whole);
}

QTEST_APPLESS_MAIN(TestFrameSplitter)
#include "tst_framesplitter.moc"
