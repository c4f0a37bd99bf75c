#include "serial/boxentries.h"
#include "serial/portdiscovery.h"

#include <QTest>

using serial::MappedPort;

class TestPortDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void namesOfMappedPorts();
    void percentSignsInDeviceTextsStayText();
    void portText_data();
    void portText();
    void preselection_data();
    void preselection();
    void portNumberOfBoxText_data();
    void portNumberOfBoxText();
};

void TestPortDiscovery::namesOfMappedPorts()
{
    const QList<MappedPort> ports{
        {5, QStringLiteral("/dev/pts/3"), QString(), true},
        {1, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), false},
        {17, QStringLiteral("/dev/ttyACM0"), QString(), false}};
    QCOMPARE(serial::discoveryNames(ports),
             (QStringList{"Serial port /dev/pts/3 (COM5)", "FT232R USB UART (COM1)",
                          "Serial port /dev/ttyACM0 (COM17)"}));
}

// Descriptions and paths come from devices and links: a "%1" in them is text, never a
// place for the port number.
void TestPortDiscovery::percentSignsInDeviceTextsStayText()
{
    const QList<MappedPort> ports{
        {5, QStringLiteral("/dev/pts/3"), QStringLiteral("Adapter %1"), false},
        {6, QStringLiteral("/tmp/%1%2"), QString(), true}};
    QCOMPARE(serial::discoveryNames(ports),
             (QStringList{"Adapter %1 (COM5)", "Serial port /tmp/%1%2 (COM6)"}));
    QCOMPARE(serial::portTextOfName(serial::discoveryNames(ports).constFirst()),
             QStringLiteral("5"));
    QCOMPARE(serial::portToolTip(ports, 6), QStringLiteral("/tmp/%1%2 - linked as com6"));
}

void TestPortDiscovery::portText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("(COM7)") << "USB Serial Port (COM7)"
                            << "7";
    QTest::newRow("(COM12)") << "Serial port /dev/ttyS11 (COM12)"
                             << "12";
    QTest::newRow("(COM1234) keeps four characters") << "x (COM1234)"
                                                     << "1234";
    QTest::newRow("(COM12345) is cut after four") << "x (COM12345)"
                                                  << "1234";
    QTest::newRow("lower-case com is no mark") << "Port (com5)"
                                               << "rt (";
    QTest::newRow("upper-case COM before the parenthesis") << "COMPORT (COM5)"
                                                           << "PORT";
    QTest::newRow("mixed case is no mark") << "Communications Port (Com1)"
                                           << "mmun";
    QTest::newRow("no parenthesis") << "x (COM7"
                                    << "7";
}

void TestPortDiscovery::portText()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(serial::portTextOfName(name), text);
}

void TestPortDiscovery::preselection_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("commPort");
    QTest::addColumn<int>("position");
    QTest::newRow("no device: CommPort 3 gives Com3") << QStringList{} << 3 << 2;
    QTest::newRow("(COM1) then (COM4): the first wins")
        << QStringList{"A (COM1)", "B (COM4)"} << 3 << 0;
    QTest::newRow("first (COM12), later ones ignored")
        << QStringList{"A (COM12)", "B (COM2)"} << 3 << 11;
    QTest::newRow("(COM17) lies past the list") << QStringList{"A (COM17)"} << 3 << 16;
    QTest::newRow("(COM1234)") << QStringList{"A (COM1234)"} << 3 << 1233;
    QTest::newRow("lower-case (com5) does not convert")
        << QStringList{"Port (com5)", "B (COM2)"} << 3 << -1;
    QTest::newRow("upper-case COM in the description does not convert")
        << QStringList{"USB COM PORT (COM5)"} << 3 << -1;
    QTest::newRow("(COM0)") << QStringList{"A (COM0)"} << 3 << -1;
    QTest::newRow("(COM-5)") << QStringList{"A (COM-5)"} << 3 << -6;
}

void TestPortDiscovery::preselection()
{
    QFETCH(QStringList, names);
    QFETCH(int, commPort);
    QFETCH(int, position);
    QCOMPARE(serial::preselectedPosition(names, static_cast<qint16>(commPort)), position);
}

void TestPortDiscovery::portNumberOfBoxText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number"); // -1000: does not convert
    QTest::newRow("Com3") << "Com3" << 3;
    QTest::newRow("Com12") << "Com12" << 12;
    QTest::newRow("12") << "12" << 12;
    QTest::newRow("blanks") << " Com7 " << 7;
    QTest::newRow("every Com removed") << "ComCom5" << 5;
    QTest::newRow("Com0 converts") << "Com0" << 0;
    QTest::newRow("Com-1 converts") << "Com-1" << -1;
    QTest::newRow("COM12") << "COM12" << -1000;
    QTest::newRow("com3") << "com3" << -1000;
    QTest::newRow("empty") << "" << -1000;
    QTest::newRow("Com alone") << "Com" << -1000;
    QTest::newRow("one pass only") << "CoComm3" << -1000;
    QTest::newRow("above 16 bits") << "Com40000" << -1000;
    QTest::newRow("fraction") << "Com3.5" << -1000;
    QTest::newRow("design text") << "ComPort" << -1000;
}

void TestPortDiscovery::portNumberOfBoxText()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    const std::optional<qint16> result = serial::portNumberOfText(text);
    QCOMPARE(result ? int(*result) : -1000, number);
}

QTEST_GUILESS_MAIN(TestPortDiscovery)
#include "tst_portdiscovery.moc"
