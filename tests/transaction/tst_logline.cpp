#include "transaction/logline.h"

#include <QTest>

class TestLogLine : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void replyLongerThanSixteenBitsIsWhole();
};

void TestLogLine::line_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing received") << QByteArray() << QStringLiteral("\r\n");
    QTest::newRow("one zero byte") << QByteArray(1, '\0') << QStringLiteral("00\r\n");
    QTest::newRow("read reply") << QByteArray::fromHex("010304000A000B9BF6")
                                << QStringLiteral("01 03 04 00 0A 00 0B 9B F6\r\n");
    QTest::newRow("upper case, two digits each")
        << QByteArray::fromHex("0a10ff7f80") << QStringLiteral("0A 10 FF 7F 80\r\n");
    QTest::newRow("exception reply")
        << QByteArray::fromHex("018302C0F1") << QStringLiteral("01 83 02 C0 F1\r\n");
}

void TestLogLine::line()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(transaction::logLine(bytes), expected);
}

void TestLogLine::replyLongerThanSixteenBitsIsWhole()
{
    const int count = 40000;
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i % 3 == 0 ? 0xAB : 0x05));
    QStringList pieces;
    for (int i = 0; i < count; ++i)
        pieces << (i % 3 == 0 ? QStringLiteral("AB") : QStringLiteral("05"));
    const QString line = transaction::logLine(bytes);
    QCOMPARE(line.size(), qsizetype(count) * 3 + 1);
    QCOMPARE(line, pieces.join(QLatin1Char(' ')) + QStringLiteral("\r\n"));
}

QTEST_GUILESS_MAIN(TestLogLine)
#include "tst_logline.moc"
