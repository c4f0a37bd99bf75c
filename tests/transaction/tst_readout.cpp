#include "transaction/readout.h"

#include <QTest>

class TestReadout : public QObject
{
    Q_OBJECT

private slots:
    void twoBytes_data();
    void twoBytes();
    void readouts_data();
    void readouts();
};

void TestReadout::twoBytes_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0 << 0 << "0";
    QTest::newRow("low byte only") << 0 << 1 << "1";
    QTest::newRow("high byte weighs 256") << 1 << 0 << "256";
    QTest::newRow("top bit set stays positive") << 128 << 0 << "32768";
    QTest::newRow("largest") << 255 << 255 << "65535";
    QTest::newRow("CRC bytes 9B F6") << 0x9B << 0xF6 << "39926";
}

void TestReadout::twoBytes()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(QString, expected);
    QCOMPARE(transaction::Byet_to_Str(quint8(high), quint8(low)), expected);
}

void TestReadout::readouts_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("expected"); // read-outs 1, 2, 3

    const QByteArray twoRegisters = QByteArray::fromHex("010304000A000B9BF6");
    QTest::newRow("two registers asked, two shown")
        << "0002" << twoRegisters << QStringList{"10", "11", ""};
    QTest::newRow("three registers") << "0003" << QByteArray::fromHex("01030600010002FFFFBCC5")
                                     << QStringList{"1", "2", "65535"};
    QTest::newRow("third read-out decodes the CRC of a short reply")
        << "0003" << twoRegisters << QStringList{"10", "11", "39926"};
    QTest::newRow("exception reply decodes its CRC")
        << "0002" << QByteArray::fromHex("018302C0F1") << QStringList{"49393", "", ""};
    QTest::newRow("count 0000 shows nothing") << "0000" << twoRegisters << QStringList{"", "", ""};
    QTest::newRow("count 0010 shows all three")
        << "0010" << QByteArray::fromHex("010320800000000001FFFF")
        << QStringList{"32768", "0", "1"};
    QTest::newRow("count 0001 shows the first only")
        << "0001" << twoRegisters << QStringList{"10", "", ""};
    QTest::newRow("no reply") << "0003" << QByteArray() << QStringList{"", "", ""};
    QTest::newRow("four bytes hold no register")
        << "0003" << QByteArray::fromHex("01030400") << QStringList{"", "", ""};
    QTest::newRow("five bytes hold the first")
        << "0003" << QByteArray::fromHex("0103040102") << QStringList{"258", "", ""};
    QTest::newRow("eight bytes hold two")
        << "0003" << QByteArray::fromHex("0103040102030405") << QStringList{"258", "772", ""};
    QTest::newRow("lower-case count text")
        << "000a" << twoRegisters << QStringList{"10", "11", "39926"};
    QTest::newRow("empty count text") << "" << twoRegisters << QStringList{"", "", ""};
    QTest::newRow("count text too large to convert")
        << "FFFFFFFFF" << twoRegisters << QStringList{"", "", ""};
}

void TestReadout::readouts()
{
    QFETCH(QString, count);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, expected);
    const QStringList shown{transaction::registerReadout(reply, count, 1),
                            transaction::registerReadout(reply, count, 2),
                            transaction::registerReadout(reply, count, 3)};
    QCOMPARE(shown, expected);
}

QTEST_GUILESS_MAIN(TestReadout)
#include "tst_readout.moc"
