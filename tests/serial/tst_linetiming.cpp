#include "serial/linetiming.h"

#include <QTest>

// Expected times worked out by hand: bits * count / baud, rounded to the nanosecond.
class TestLineTiming : public QObject
{
    Q_OBJECT

private slots:
    void times_data();
    void times();
};

void TestLineTiming::times_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<double>("bits");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("countNs");
    QTest::addColumn<qint64>("gapNs");

    // The request 01 03 00 00 00 02 C4 0B and its 9-byte reply: 17 characters.
    QTest::newRow("request and reply at 9600 8N1: 17.7 ms")
        << "9600,N,8,1" << 10.0 << qint64(17) << qint64(17'708'333) << qint64(3'645'833);
    QTest::newRow("request and reply at 115200 8N1: 1.5 ms")
        << "115200,N,8,1" << 10.0 << qint64(17) << qint64(1'475'694) << qint64(1'750'000);
    QTest::newRow("one character at 9600 8N1")
        << "9600,N,8,1" << 10.0 << qint64(1) << qint64(1'041'667) << qint64(3'645'833);
    QTest::newRow("19200 even parity: gap still 3.5 characters")
        << "19200,E,8,1" << 11.0 << qint64(3) << qint64(1'718'750) << qint64(2'005'208);
    QTest::newRow("19201: gap fixed at 1.75 ms")
        << "19201,N,8,1" << 10.0 << qint64(0) << qint64(0) << qint64(1'750'000);
    QTest::newRow("38400 odd parity, 2 stop bits")
        << "38400,O,8,2" << 12.0 << qint64(1) << qint64(312'500) << qint64(1'750'000);
    QTest::newRow("9600 E,7,2") << "9600,E,7,2" << 11.0 << qint64(8) << qint64(9'166'667)
                                << qint64(4'010'417);
    QTest::newRow("1.5 stop bits give a half bit")
        << "4800,N,5,1.5" << 7.5 << qint64(2) << qint64(3'125'000) << qint64(5'468'750);
    QTest::newRow("mark parity sends a bit")
        << "1200,M,7,1" << 10.0 << qint64(256) << qint64(2'133'333'333) << qint64(29'166'667);
    QTest::newRow("space parity sends a bit")
        << "300,S,6,2" << 10.0 << qint64(0) << qint64(0) << qint64(116'666'667);
    QTest::newRow("100,000,000 characters do not overflow")
        << "300,E,8,2" << 12.0 << qint64(100'000'000) << qint64(4'000'000'000'000'000)
        << qint64(140'000'000);
}

void TestLineTiming::times()
{
    QFETCH(QString, settings);
    QFETCH(double, bits);
    QFETCH(qint64, count);
    QFETCH(qint64, countNs);
    QFETCH(qint64, gapNs);

    serial::CommSettings parsed;
    QVERIFY(!serial::parseSettings(settings, parsed));
    QCOMPARE(serial::bitsPerCharacter(parsed), bits);
    QCOMPARE(serial::charactersTime(parsed, count).count(), countNs);
    QCOMPARE(serial::frameGap(parsed).count(), gapNs);
}

QTEST_GUILESS_MAIN(TestLineTiming)
#include "tst_linetiming.moc"
