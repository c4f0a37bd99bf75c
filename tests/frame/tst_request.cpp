#include "frame/crc16.h"
#include "frame/request.h"
#include "frame/writerequest.h"
#include "support/referencecrc.h"

#include <QTest>
#include <vector>

using frame::RequestFields;
using frame::RequestFrame;

Q_DECLARE_METATYPE(RequestFrame)

class TestRequest : public QObject
{
    Q_OBJECT

private slots:
    void crcCatalogueCheckValue();
    void crcIndependentVectors();
    void workedExamples_data();
    void workedExamples();
    void nonDigitsAddNothingToTheirPiece();
    void crcTextIsLowByteFirst();
    void storeCrcLeavesTheBodyAlone();
    void writeRequests_data();
    void writeRequests();
};

void TestRequest::crcCatalogueCheckValue()
{
    // The catalogue's check value of CRC-16/MODBUS over the ASCII text "123456789".
    const QByteArray check("123456789");
    const std::uint16_t crc = frame::crc16Modbus(
        {reinterpret_cast<const std::uint8_t *>(check.constData()), std::size_t(check.size())});
    QCOMPARE(crc, std::uint16_t{0x4B37});
}

void TestRequest::crcIndependentVectors()
{
    // Produced once by another implementation, the predefined "modbus" CRC of python3-crcmod:
    //   crcmod.predefined.mkCrcFun('modbus')(bytes.fromhex(...)), printed as %04X.
    // Random frames come from random.seed(20261207) and six random.randrange(256) each.
    struct Vector {
        std::vector<std::uint8_t> bytes;
        std::uint16_t crc;
    };
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[std::size_t(i)] = static_cast<std::uint8_t>(i);
    const std::vector<Vector> vectors = {
        {{}, 0xFFFF},
        {{0x00}, 0x40BF},
        {{0xFF}, 0x00FF},
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x02}, 0x0BC4},
        {{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, 0x8776},
        {{0x01, 0x04, 0x00, 0x00, 0x00, 0x0A}, 0x0D70},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0x1B00},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x9401},
        {{0xF7, 0x03, 0x13, 0x89, 0x00, 0x0A}, 0x3504},
        {{0x01, 0x06, 0x00, 0x01, 0x00, 0x03}, 0x0B98},
        {{0x02, 0x10, 0x00, 0x20, 0x00, 0x7D}, 0xD101},
        {{0x0A, 0x05, 0x00, 0xAC, 0xFF, 0x00}, 0x604D},
        {{0x01, 0x03, 0xFF, 0xFF, 0x00, 0x7D}, 0xCF85},
        {{0x7F, 0x2B, 0x0E, 0x01, 0x00, 0x00}, 0xFA7C},
        {{0x4F, 0x34, 0x4A, 0x49, 0xA8, 0x9F}, 0x8647},
        {{0x99, 0x2A, 0x0C, 0x29, 0xA3, 0x4B}, 0x4BEE},
        {{0x74, 0x05, 0x66, 0xCF, 0xDF, 0x40}, 0xD8B1},
        {{0x6B, 0x68, 0x7A, 0xC1, 0xF3, 0xF9}, 0x5FA5},
        {{0x87, 0xCD, 0x41, 0x8F, 0x95, 0x80}, 0x9B78},
        {{0x1B, 0x30, 0x37, 0x56, 0x33, 0x0E}, 0xA438},
        {{0x70, 0xB9, 0x3E, 0x06, 0xC1, 0xC8}, 0x1F2B},
        {{0x20, 0x52, 0x2A, 0xFF, 0x5C, 0x01}, 0x5F7E},
        {{0xA4, 0xFB, 0xA5, 0xC3, 0x4C, 0x2D}, 0xC6DA},
        {{0x1D, 0x83, 0x7C, 0xA9, 0x2A, 0x4F}, 0x6CD1},
        {{0x9E, 0x26, 0xCB, 0x92, 0x40, 0x41}, 0x9B7B},
        {{0xC2, 0x3E, 0xF5, 0x16, 0xEE, 0x58}, 0x6EA7},
        {all, 0xDE6C},
    };
    for (const Vector &v : vectors) {
        const std::uint16_t crc = frame::crc16Modbus(v.bytes);
        QVERIFY2(crc == v.crc, qPrintable(QStringLiteral("%1 bytes: got %2, expected %3")
                                              .arg(v.bytes.size())
                                              .arg(crc, 4, 16, QLatin1Char('0'))
                                              .arg(v.crc, 4, 16, QLatin1Char('0'))));
    }
}

void TestRequest::workedExamples_data()
{
    QTest::addColumn<RequestFields>("before");
    QTest::addColumn<RequestFields>("after");
    QTest::addColumn<RequestFrame>("frame");
    QTest::addColumn<QString>("crcText");

    QTest::newRow("defaults") << RequestFields{"01", "03", "0000", "0002"}
                              << RequestFields{"01", "03", "0000", "0002"}
                              << RequestFrame{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}
                              << "C40B";
    QTest::newRow("short texts padded")
        << RequestFields{"1", "3", "0", "2"} << RequestFields{"01", "03", "0000", "0002"}
        << RequestFrame{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B} << "C40B";
    QTest::newRow("slave 11") << RequestFields{"11", "03", "006B", "0003"}
                              << RequestFields{"11", "03", "006B", "0003"}
                              << RequestFrame{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}
                              << "7687";
    QTest::newRow("lower case, CRC byte below 0x10")
        << RequestFields{"01", "04", "0000", "000a"} << RequestFields{"01", "04", "0000", "000A"}
        << RequestFrame{0x01, 0x04, 0x00, 0x00, 0x00, 0x0A, 0x70, 0x0D} << "700D";
    // CRCs of the last two rows from python3-crcmod as above.
    QTest::newRow("empty texts") << RequestFields{"", "", "", ""}
                                 << RequestFields{"00", "00", "0000", "0000"}
                                 << RequestFrame{0, 0, 0, 0, 0, 0, 0x00, 0x1B} << "001B";
    QTest::newRow("too long texts lose the left")
        << RequestFields{"123", "abc", "12345", "fffff"}
        << RequestFields{"23", "BC", "2345", "FFFF"}
        << RequestFrame{0x23, 0xBC, 0x23, 0x45, 0xFF, 0xFF, 0x4D, 0x72} << "4D72";
}

void TestRequest::workedExamples()
{
    QFETCH(RequestFields, before);
    QFETCH(RequestFields, after);
    QFETCH(RequestFrame, frame);
    QFETCH(QString, crcText);

    QCOMPARE(frame::normalizedFields(before), after);
    const RequestFrame built = frame::buildRequest(before);
    QCOMPARE(built, frame);
    QCOMPARE(frame::crcText(built), crcText);
}

void TestRequest::nonDigitsAddNothingToTheirPiece()
{
    const RequestFrame built = frame::buildRequest({"0g", "03", "12g4", "0002"});
    QCOMPARE(built[0], std::uint8_t{0x00});
    QCOMPARE(built[2], std::uint8_t{0x12});
    QCOMPARE(built[3], std::uint8_t{0x04});
    QCOMPARE(frame::normalizedFields({"0g", "03", "12g4", "0002"}).startRegister,
             QStringLiteral("12G4"));
}

void TestRequest::crcTextIsLowByteFirst()
{
    RequestFrame frame{};
    frame[6] = 0x0D;
    frame[7] = 0x70;
    QCOMPARE(frame::crcText(frame), QStringLiteral("0D70"));
    frame[6] = 0x00;
    frame[7] = 0x0B;
    QCOMPARE(frame::crcText(frame), QStringLiteral("000B"));
}

void TestRequest::storeCrcLeavesTheBodyAlone()
{
    RequestFrame frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0x55, 0xAA};
    frame::storeCrc(frame);
    QCOMPARE(frame, (RequestFrame{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
}

void TestRequest::writeRequests_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<quint16>>("values");
    QTest::addColumn<QByteArray>("bodyOrError"); // hex without the CRC, or part of the error

    QTest::newRow("05 on") << 5 << 0x13 << QList<quint16>{1} << QByteArray("01050013FF00");
    // Ten coils 1,0,1,1,0,0,1,1, 1,0: CD 01, first coil in the lowest bit.
    QTest::newRow("0F ten") << 0x0F << 0x13 << QList<quint16>{1, 0, 1, 1, 0, 0, 1, 1, 1, 0}
                            << QByteArray("010F0013000A02CD01");
    QTest::newRow("10 at its limit")
        << 0x10 << 0 << QList<quint16>(123, 0)
        << QByteArray("0110000000 7BF6").replace(' ', "") + QByteArray(246 * 2, '0');
    QTest::newRow("10 one too many")
        << 0x10 << 0 << QList<quint16>(124, 0) << QByteArray("writes 1 to 123 registers");
    QTest::newRow("0F one too many")
        << 0x0F << 0 << QList<quint16>(1969, 1) << QByteArray("writes 1 to 1968 coils");
    QTest::newRow("03 is a read") << 3 << 0 << QList<quint16>{1} << QByteArray("does not write");
}

void TestRequest::writeRequests()
{
    QFETCH(int, function);
    QFETCH(int, start);
    QFETCH(QList<quint16>, values);
    QFETCH(QByteArray, bodyOrError);

    QString error;
    const QByteArray request =
        frame::writeRequest(1, quint8(function), quint16(start), values, error);
    if (error.isEmpty())
        QCOMPARE(request, withReferenceCrc(bodyOrError));
    else
        QVERIFY2(request.isEmpty() && error.contains(QLatin1String(bodyOrError)),
                 qPrintable(error));
}

QTEST_APPLESS_MAIN(TestRequest)
#include "tst_request.moc"
