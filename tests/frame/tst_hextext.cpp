#include "frame/hextext.h"

#include <QTest>

class TestHexText : public QObject
{
    Q_OBJECT

private slots:
    void lengthStr_data();
    void lengthStr();
    void hexToDec_data();
    void hexToDec();
    void hexToDecOverflow_data();
    void hexToDecOverflow();
    void decToHex_data();
    void decToHex();
    void byteTextIsAlwaysTwoUpperCaseDigits();
};

void TestHexText::lengthStr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one digit padded") << "1" << 2 << "01";
    QTest::newRow("lower-case letter") << "a" << 2 << "0A";
    QTest::newRow("too long loses the left") << "abc" << 2 << "BC";
    QTest::newRow("empty at width 4") << "" << 4 << "0000";
    QTest::newRow("five digits at width 4") << "12345" << 4 << "2345";
    QTest::newRow("already normal") << "0002" << 4 << "0002";
    QTest::newRow("empty at width 2") << "" << 2 << "00";
    QTest::newRow("zero then letter") << "0a" << 2 << "0A";
    QTest::newRow("non-digits stay, upper-cased") << "xyz" << 2 << "YZ";
    QTest::newRow("non-digit in the middle") << "12g4" << 4 << "12G4";
    QTest::newRow("blank kept") << " 1" << 2 << " 1";
    QTest::newRow("non-ASCII letter upper-cased")
        << QStringLiteral("é") << 2 << QStringLiteral("0É");
    QTest::newRow("width 0") << "12" << 0 << "";
    QTest::newRow("width 3") << "7" << 3 << "007";
}

void TestHexText::lengthStr()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(frame::Length_str(text, static_cast<qint16>(width)), expected);
}

void TestHexText::hexToDec_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("expected");

    QTest::newRow("lower case") << "ff" << 255;
    QTest::newRow("leading zeros") << "0002" << 2;
    QTest::newRow("00FF") << "00FF" << 255;
    QTest::newRow("four digits never negative") << "FFFF" << 65535;
    QTest::newRow("non-digit keeps its place (right)") << "1G" << 16;
    QTest::newRow("non-digit keeps its place (left)") << "G1" << 1;
    QTest::newRow("trailing blank") << "1 " << 16;
    QTest::newRow("leading blank") << " 1" << 1;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("largest") << "7FFFFFFF" << 2147483647;
    QTest::newRow("0g") << "0g" << 0;
    QTest::newRow("g0") << "g0" << 0;
    QTest::newRow("many leading zeros") << "000000001" << 1;
    QTest::newRow("non-digit beyond eight places") << "G0000000F" << 15;
    QTest::newRow("sign is no digit") << "-1" << 1;
    QTest::newRow("fullwidth letter is no digit") << QStringLiteral("ａ1") << 1;
    QTest::newRow("mixed case") << "aBcD" << 0xABCD;
    QTest::newRow("CRC pieces") << "C4" << 0xC4;
}

void TestHexText::hexToDec()
{
    QFETCH(QString, text);
    QFETCH(qint32, expected);
    const std::optional<qint32> value = frame::HEX_to_DEC(text);
    QVERIFY(value.has_value());
    QCOMPARE(*value, expected);
}

void TestHexText::hexToDecOverflow_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("one past the largest") << "80000000";
    QTest::newRow("all eight digits") << "FFFFFFFF";
    QTest::newRow("nine places") << "100000000";
    QTest::newRow("far beyond") << "1000000000000000000000";
}

void TestHexText::hexToDecOverflow()
{
    QFETCH(QString, text);
    QVERIFY(!frame::HEX_to_DEC(text).has_value());
}

void TestHexText::decToHex_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero gives nothing") << 0 << "";
    QTest::newRow("5") << 5 << "5";
    QTest::newRow("10") << 10 << "A";
    QTest::newRow("15") << 15 << "F";
    QTest::newRow("16") << 16 << "10";
    QTest::newRow("26") << 26 << "1A";
    QTest::newRow("255") << 255 << "FF";
}

void TestHexText::decToHex()
{
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(frame::DEC_to_HEX(static_cast<quint8>(value)), expected);
}

void TestHexText::byteTextIsAlwaysTwoUpperCaseDigits()
{
    QCOMPARE(frame::byteText(0), QStringLiteral("00"));
    QCOMPARE(frame::byteText(9), QStringLiteral("09"));
    QCOMPARE(frame::byteText(171), QStringLiteral("AB"));
    for (int value = 0; value < 256; ++value) {
        const QString expected = QString::asprintf("%02X", value);
        QCOMPARE(frame::byteText(static_cast<quint8>(value)), expected);
        QCOMPARE(frame::Length_str(frame::DEC_to_HEX(static_cast<quint8>(value)), 2), expected);
    }
}

QTEST_APPLESS_MAIN(TestHexText)
#include "tst_hextext.moc"
