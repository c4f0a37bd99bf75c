#include "frame/rtuframe.h"
#include "support/referencecrc.h"

#include <QTest>

using frame::Direction;
using Status = frame::FrameLength::Status;

Q_DECLARE_METATYPE(Direction)
Q_DECLARE_METATYPE(Status)

namespace
{

QByteArray crc(const QByteArray &hex)
{
    return withReferenceCrc(hex);
}
QByteArray raw(const char *hex)
{
    return QByteArray::fromHex(hex);
}
// The byte at `at` from the end with its lowest bit flipped.
QByteArray flipped(QByteArray bytes, qsizetype at)
{
    bytes[bytes.size() - at] = char(bytes[bytes.size() - at] ^ 1);
    return bytes;
}
QString hex(uint value, int width)
{
    return QString::number(value, 16).rightJustified(width, QLatin1Char('0')).toUpper();
}

// "size: address function fields... ok|bad|partial", only the fields that are there.
QString describe(const frame::RtuFrame &f)
{
    QStringList s{QString::number(f.size) + QLatin1Char(':')};
    if (f.size >= 1)
        s << hex(f.address, 2);
    if (f.size >= 2)
        s << hex(f.function, 2);
    if (f.exception)
        s << QLatin1Char('x') + hex(f.exceptionCode, 2);
    const auto field = [&](char name, auto value, int width) {
        if (value)
            s << QLatin1Char(name) + hex(*value, width);
    };
    field('s', f.start, 4);
    field('q', f.quantity, 4);
    field('S', f.writeStart, 4);
    field('Q', f.writeQuantity, 4);
    field('n', f.byteCount, 2);
    QStringList values;
    for (const quint16 v : f.values)
        values << hex(v, 4);
    if (!values.isEmpty())
        s << QLatin1Char('v') + values.join(QLatin1Char(','));
    else if (!f.data.isEmpty())
        s << QLatin1Char('d') + QString::fromLatin1(f.data.toHex().toUpper());
    s << QLatin1String(!f.complete ? "partial" : f.crcGood ? "ok" : "bad");
    return s.join(QLatin1Char(' '));
}

} // namespace

class TestRtuFrame : public QObject
{
    Q_OBJECT

private slots:
    void lengthAndFields_data();
    void lengthAndFields();
    void expectedResponse_data();
    void expectedResponse();
    void crcMatchesFramesOf4To256Bytes();
};

void TestRtuFrame::lengthAndFields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<Status>("status");
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<qsizetype>("needed"); // shorter prefixes give NeedMore
    QTest::addColumn<QString>("fields");
    const Direction rq = Direction::Request, rs = Direction::Response;
    const auto add = [&](Direction d, const QByteArray &bytes, Status status, qsizetype length,
                         qsizetype needed, const QString &fields) {
        QTest::addRow("%s %s", d == rq ? "req" : "resp", bytes.toHex().left(40).constData())
            << bytes << d << status << length << needed << fields;
    };
    const Status known = Status::Known, unknown = Status::Unknown, tooLong = Status::TooLong;
    add(rq, crc("110100130025"), known, 8, 2, "8: 11 01 s0013 q0025 ok");
    add(rq, crc("110200C40016"), known, 8, 2, "8: 11 02 s00C4 q0016 ok");
    add(rq, crc("1103006B0003"), known, 8, 2, "8: 11 03 s006B q0003 ok");
    add(rq, crc("110400080001"), known, 8, 2, "8: 11 04 s0008 q0001 ok");
    add(rq, crc("110500ACFF00"), known, 8, 2, "8: 11 05 s00AC vFF00 ok");
    add(rq, crc("110600010003"), known, 8, 2, "8: 11 06 s0001 v0003 ok");
    add(rq, crc("110F0013000A02CD01"), known, 11, 7, "11: 11 0F s0013 q000A n02 dCD01 ok");
    add(rq, crc("11100001000204000A0102"), known, 13, 7, "13: 11 10 s0001 q0002 n04 v000A,0102 ok");
    add(rq, crc("111700030006000E00030600FF00FF00FF"), known, 19, 11,
        "19: 11 17 s0003 q0006 S000E Q0003 n06 v00FF,00FF,00FF ok");
    add(rq, crc("000600010003"), known, 8, 2, "8: 00 06 s0001 v0003 ok"); // broadcast
    add(rs, crc("110105CD6BB20E1B"), known, 10, 3, "10: 11 01 n05 dCD6BB20E1B ok");
    add(rs, crc("110203ACDB35"), known, 8, 3, "8: 11 02 n03 dACDB35 ok");
    add(rs, crc("110306022B00000064"), known, 11, 3, "11: 11 03 n06 v022B,0000,0064 ok");
    add(rs, crc("110402000A"), known, 7, 3, "7: 11 04 n02 v000A ok");
    add(rs, crc("110500ACFF00"), known, 8, 2, "8: 11 05 s00AC vFF00 ok");
    add(rs, crc("110600010003"), known, 8, 2, "8: 11 06 s0001 v0003 ok");
    add(rs, crc("110F0013000A"), known, 8, 2, "8: 11 0F s0013 q000A ok");
    add(rs, crc("111000010002"), known, 8, 2, "8: 11 10 s0001 q0002 ok");
    add(rs, crc("11170C00FE0ACD00010003000D00FF"), known, 17, 3,
        "17: 11 17 n0C v00FE,0ACD,0001,0003,000D,00FF ok");
    add(rs, crc("118302"), known, 5, 2, "5: 11 83 x02 ok");
    add(rs, crc("11AB01"), known, 5, 2, "5: 11 AB x01 ok"); // to a function without layout
    add(rq, crc("1107"), unknown, 0, 2, "4: 11 07 ok");
    add(rq, crc("112B0E0100"), unknown, 0, 2, "7: 11 2B d0E0100 ok");
    add(rs, crc("110700"), unknown, 0, 2, "5: 11 07 d00 ok");
    add(rq, crc("118302"), unknown, 0, 2, "5: 11 83 d02 ok"); // no request has 0x80 set
    // Byte counts: none, odd (the last byte is no value), the largest, above 256 bytes.
    add(rs, crc("110300"), known, 5, 3, "5: 11 03 n00 ok");
    add(rs, crc("110303000102"), known, 8, 3, "8: 11 03 n03 v0001 ok");
    add(rs, crc("1103FB" + QByteArray(0xFB, 0).toHex()), known, 256, 3,
        "256: 11 03 nFB v" + QStringList(125, "0000").join(',') + " ok");
    add(rs, raw("1103FC"), tooLong, 257, 3, "3: 11 03 nFC partial");
    add(rq, raw("11100001007CF8"), tooLong, 257, 7, "7: 11 10 s0001 q007C nF8 partial");
    add(rq, raw("11170001000100020001FF"), tooLong, 268, 11,
        "11: 11 17 s0001 q0001 S0002 Q0001 nFF partial");
    // CRC high or low byte wrong.
    add(rs, flipped(crc("110306022B00000064"), 1), known, 11, 3,
        "11: 11 03 n06 v022B,0000,0064 bad");
    add(rq, flipped(crc("1103006B0003"), 2), known, 8, 2, "8: 11 03 s006B q0003 bad");
    // The next frame's bytes are not this one's.
    add(rq, crc("1103006B0003") + raw("1103"), known, 8, 2, "8: 11 03 s006B q0003 ok");
    add(rq, raw("11100001000204000A"), known, 13, 7, "9: 11 10 s0001 q0002 n04 partial");
    add(rq, raw("1103006B00"), known, 8, 2, "5: 11 03 s006B partial");
    add(rs, raw("11"), Status::NeedMore, 2, 2, "1: 11 partial");
}

void TestRtuFrame::lengthAndFields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Direction, direction);
    QFETCH(Status, status);
    QFETCH(qsizetype, length);
    QFETCH(qsizetype, needed);
    QFETCH(QString, fields);

    for (qsizetype k = 0; k <= bytes.size(); ++k) {
        const frame::FrameLength got =
            frame::rtuFrameLength(QByteArrayView(bytes).first(k), direction);
        // Address and function first, then the byte count if the layout has one.
        const frame::FrameLength want =
            k < needed ? frame::FrameLength{Status::NeedMore, k < 2 ? 2 : needed}
                       : frame::FrameLength{status, length};
        QVERIFY2(got == want, qPrintable(QStringLiteral("%1 bytes: status %2, length %3")
                                             .arg(k)
                                             .arg(int(got.status))
                                             .arg(got.length)));
    }
    const frame::RtuFrame f = frame::decodeRtuFrame(bytes, direction);
    QCOMPARE(describe(f), fields);
    if (f.complete) {
        QCOMPARE(f.crcExpected, referenceCrc16(bytes.first(f.size - 2)));
        QCOMPARE(frame::crcMatches(QByteArrayView(bytes).first(f.size)), f.crcGood);
    }
}

void TestRtuFrame::expectedResponse_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<qsizetype>("expected"); // -1: none
    // request:length of the normal reply. Quantities 0, 1, 8, 9, 125, 126 for 03, 1 to 2001
    // coils, writes, 17, broadcasts, other functions, requests too short to tell.
    const QByteArray rows = "110300000000:-1 110300000001:7 110300000008:21 110300000009:23 "
                            "11030000007D:255 11030000007E:-1 11040000007D:255 110100000001:6 "
                            "110100000008:6 110100000009:7 1101000007D0:255 1101000007D1:-1 "
                            "110200000010:7 110500ACFF00:8 110600010003:8 110F0013000A02CD01:8 "
                            "11100001000204000A0102:8 11170000007D00000001020000:255 "
                            "111700000000000000010200:-1 000300000001:-1 001000010001020000:-1 "
                            "1107:-1 118300000001:-1 11030000:-1 11:-1 :-1";
    for (const QByteArray &row : rows.split(' ')) {
        const QList<QByteArray> cells = row.split(':');
        QTest::newRow(row.constData())
            << QByteArray::fromHex(cells[0]) << qsizetype(cells[1].toInt());
    }
}

void TestRtuFrame::expectedResponse()
{
    QFETCH(QByteArray, request);
    QFETCH(qsizetype, expected);
    const std::optional<qsizetype> length = frame::expectedResponseLength(request);
    QCOMPARE(length.value_or(-1), expected);
    // A reply of that length is one of the function's replies.
    if (length && request[1] != 5 && request[1] != 6 && request[1] != 0x0F && request[1] != 0x10)
        QCOMPARE(frame::rtuFrameLength(request.first(2) + char(*length - 5), Direction::Response),
                 (frame::FrameLength{Status::Known, *length}));
}

void TestRtuFrame::crcMatchesFramesOf4To256Bytes()
{
    const QByteArray good = crc("1103006B0003");
    QVERIFY(frame::crcMatches(good));
    QVERIFY(!frame::crcMatches(good.first(6) + good[7] + good[6])); // high byte first
    QVERIFY(frame::crcMatches(crc("1107")));
    QVERIFY(frame::crcMatches(crc(QByteArray(254, 'A').toHex())));
    QVERIFY(!frame::crcMatches(crc("11")));
    QVERIFY(!frame::crcMatches(crc(QByteArray(255, 'A').toHex())));
    QVERIFY(!frame::crcMatches({}));
}

QTEST_APPLESS_MAIN(TestRtuFrame)
#include "tst_rtuframe.moc"
