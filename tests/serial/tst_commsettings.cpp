#include "serial/commsettings.h"

#include <QTest>

using serial::CommSettings;
using Parity = CommSettings::Parity;
using StopBits = CommSettings::StopBits;

Q_DECLARE_METATYPE(CommSettings)

class TestCommSettings : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
};

void TestCommSettings::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<CommSettings>("expected");
    QTest::newRow("9600,N,8,1") << "9600,N,8,1"
                                << CommSettings{9600, Parity::None, 8, StopBits::One};
    QTest::newRow("1200,E,7,2") << "1200,E,7,2"
                                << CommSettings{1200, Parity::Even, 7, StopBits::Two};
    QTest::newRow("115200,O,8,1") << "115200,O,8,1"
                                  << CommSettings{115200, Parity::Odd, 8, StopBits::One};
    QTest::newRow("mark") << "56000,M,8,1" << CommSettings{56000, Parity::Mark, 8, StopBits::One};
    QTest::newRow("space") << "76800,S,5,1.5"
                           << CommSettings{76800, Parity::Space, 5, StopBits::OneAndHalf};
    QTest::newRow("lower-case parity")
        << "14400,e,6,1" << CommSettings{14400, Parity::Even, 6, StopBits::One};
    QTest::newRow("any positive rate")
        << "250000,N,8,1" << CommSettings{250000, Parity::None, 8, StopBits::One};
    QTest::newRow("largest rate") << "2147483647,N,8,1"
                                  << CommSettings{2147483647, Parity::None, 8, StopBits::One};
    QTest::newRow("leading zero") << "09600,N,8,1"
                                  << CommSettings{9600, Parity::None, 8, StopBits::One};
}

void TestCommSettings::accepted()
{
    QFETCH(QString, text);
    QFETCH(CommSettings, expected);
    CommSettings settings{1, Parity::Odd, 5, StopBits::Two};
    const serial::CommError error = serial::parseSettings(text, settings);
    QVERIFY2(!error, qPrintable(error.message));
    QVERIFY(settings == expected);
}

void TestCommSettings::refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("empty") << ""
                           << "exactly four fields";
    QTest::newRow("three fields") << "9600,N,8"
                                  << "exactly four fields";
    QTest::newRow("five fields") << "9600,N,8,1,1"
                                 << "exactly four fields";
    QTest::newRow("zero rate") << "0,N,8,1"
                               << "the speed \"0\"";
    QTest::newRow("negative rate") << "-9600,N,8,1"
                                   << "the speed \"-9600\"";
    QTest::newRow("signed rate") << "+9600,N,8,1"
                                 << "the speed \"+9600\"";
    QTest::newRow("rate too big") << "2147483648,N,8,1"
                                  << "the speed \"2147483648\"";
    QTest::newRow("rate with blank") << "9600 ,N,8,1"
                                     << "the speed \"9600 \"";
    QTest::newRow("hex rate") << "0x2580,N,8,1"
                              << "the speed \"0x2580\"";
    QTest::newRow("design text") << "Speed,Set"
                                 << "exactly four fields";
    QTest::newRow("unknown parity") << "9600,X,8,1"
                                    << "the parity \"X\"";
    QTest::newRow("word parity") << "9600,None,8,1"
                                 << "the parity \"None\"";
    QTest::newRow("4 data bits") << "9600,N,4,1"
                                 << "the data bits \"4\"";
    QTest::newRow("9 data bits") << "9600,N,9,1"
                                 << "the data bits \"9\"";
    QTest::newRow("08 data bits") << "9600,N,08,1"
                                  << "the data bits \"08\"";
    QTest::newRow("0 stop bits") << "9600,N,8,0"
                                 << "the stop bits \"0\"";
    QTest::newRow("3 stop bits") << "9600,N,8,3"
                                 << "the stop bits \"3\"";
    QTest::newRow("1,5 stop bits") << "9600,N,8,1,5"
                                   << "exactly four fields";
    QTest::newRow("empty stop bits") << "9600,N,8,"
                                     << "the stop bits \"\"";
}

void TestCommSettings::refused()
{
    QFETCH(QString, text);
    QFETCH(QString, complaint);
    const CommSettings before{19200, Parity::Even, 7, StopBits::Two};
    CommSettings settings = before;
    const serial::CommError error = serial::parseSettings(text, settings);
    QCOMPARE(error.number, int(serial::CommError::BadSettings));
    QVERIFY2(error.message.contains(complaint), qPrintable(error.message));
    QVERIFY2(error.message.contains(QStringLiteral("\"%1\"").arg(text)), qPrintable(error.message));
    QVERIFY2(error.message.contains(QLatin1String("for example 9600,N,8,1")),
             qPrintable(error.message));
    QVERIFY(settings == before);
}

QTEST_GUILESS_MAIN(TestCommSettings)
#include "tst_commsettings.moc"
