#include "serial/latencytimer.h"
#include "serial/portdiscovery.h"
#include "serial/portopening.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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
    void latencyTimerFromSysfs_data();
    void latencyTimerFromSysfs();
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

void TestPortDiscovery::latencyTimerFromSysfs_data()
{
    QTest::addColumn<QString>("content"); // of latency_timer; empty: no such file
    QTest::addColumn<bool>("driverLink");
    QTest::addColumn<int>("latency"); // -1: none
    QTest::addColumn<QString>("driver");
    QTest::newRow("ftdi_sio, 16 ms") << "16\n" << true << 16 << "ftdi_sio";
    QTest::newRow("no driver link") << "1\n" << false << 1 << "";
    QTest::newRow("no timer") << "" << true << -1 << "";
    QTest::newRow("not a number") << "sixteen\n" << true << -1 << "";
    QTest::newRow("above 255") << "300\n" << true << -1 << "";
}

// A fake tree: /dev/serial/by-id/<adapter> links to ttyUSB0, whose sysfs device is a link as
// under /sys/class/tty.
void TestPortDiscovery::latencyTimerFromSysfs()
{
    QFETCH(QString, content);
    QFETCH(bool, driverLink);
    QFETCH(int, latency);
    QFETCH(QString, driver);
    QTemporaryDir root;
    const QString sys = root.filePath(QStringLiteral("sys"));
    const QString port = sys + QStringLiteral("/bus/usb-serial/devices/ttyUSB0");
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("dev/serial/by-id"))));
    QVERIFY(QDir().mkpath(port) && QDir().mkpath(sys + QStringLiteral("/class/tty/ttyUSB0")));
    QVERIFY(QDir().mkpath(sys + QStringLiteral("/bus/usb-serial/drivers/ftdi_sio")));
    QVERIFY(QFile(root.filePath(QStringLiteral("dev/ttyUSB0"))).open(QIODevice::WriteOnly));
    const QString byId = root.filePath(QStringLiteral("dev/serial/by-id/usb-FTDI-if00-port0"));
    QVERIFY(QFile::link(QStringLiteral("../../ttyUSB0"), byId));
    QVERIFY(QFile::link(QStringLiteral("../../../bus/usb-serial/devices/ttyUSB0"),
                        sys + QStringLiteral("/class/tty/ttyUSB0/device")));
    if (driverLink)
        QVERIFY(QFile::link(QStringLiteral("../../drivers/ftdi_sio"), port + "/driver"));
    QFile timer(port + QStringLiteral("/latency_timer"));
    QVERIFY(content.isEmpty() ||
            (timer.open(QIODevice::WriteOnly) && timer.write(content.toLatin1())));
    timer.close();

    const std::optional<serial::LatencyTimer> read = serial::readLatencyTimer(byId, sys);
    QCOMPARE(read ? read->milliseconds : -1, latency);
    QCOMPARE(read ? read->driver : QString(), driver);
}

QTEST_GUILESS_MAIN(TestPortDiscovery)
#include "tst_portdiscovery.moc"
