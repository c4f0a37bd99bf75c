#include "app/porttooltip.h"

#include <QTest>

class TestPortToolTip : public QObject
{
    Q_OBJECT

private slots:
    void percentSignsInDeviceTextsStayText();
    void toolTipWithLatencyTimer_data();
    void toolTipWithLatencyTimer();
};

// Descriptions and paths come from devices and links: a "%1" in them is text, never a
// place for the port number.
void TestPortToolTip::percentSignsInDeviceTextsStayText()
{
    const QList<serial::MappedPort> ports{{6, QStringLiteral("/tmp/%1%2"), QString(), true}};
    QCOMPARE(portToolTip(ports, 6), QStringLiteral("/tmp/%1%2 - linked as com6"));
    // No latency timer under a sysfs root without the device: the device line alone.
    QCOMPARE(currentPortToolTip(ports, 6, true, QStringLiteral("/nonexistent")),
             portToolTip(ports, 6));
}

void TestPortToolTip::toolTipWithLatencyTimer_data()
{
    QTest::addColumn<int>("latency"); // -1: none
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("timerLine"); // how the second line starts; empty: one line
    QTest::addColumn<QString>("rule");      // the last line; empty: no rule
    const QString ftdi = R"(ACTION!="remove", SUBSYSTEM=="usb-serial", DRIVER=="ftdi_sio", )"
                         R"(ATTR{latency_timer}="1")";
    QTest::newRow("no timer") << -1 << QString() << true << QString() << QString();
    QTest::newRow("16 ms, closed")
        << 16 << "ftdi_sio" << false << "Latency timer: 16 ms" << QString();
    QTest::newRow("1 ms, opened") << 1 << "ftdi_sio" << true << "Latency timer: 1 ms" << QString();
    QTest::newRow("16 ms, opened")
        << 16 << "ftdi_sio" << true << "Latency timer: 16 ms (the driver did not lower it)" << ftdi;
    QTest::newRow("unknown driver") << 4 << "" << true << "Latency timer: 4 ms ("
                                    << R"(ACTION!="remove", SUBSYSTEM=="usb-serial", )"
                                       R"(ATTR{latency_timer}=="?*", ATTR{latency_timer}="1")";
}

void TestPortToolTip::toolTipWithLatencyTimer()
{
    QFETCH(int, latency);
    QFETCH(QString, driver);
    QFETCH(bool, opened);
    QFETCH(QString, timerLine);
    QFETCH(QString, rule);
    const serial::MappedPort port{1, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R %1"),
                                  false};
    const QStringList lines =
        portToolTip(
            port, latency < 0 ? std::nullopt : std::optional(serial::LatencyTimer{latency, driver}),
            opened)
            .split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), portToolTip({port}, 1));
    QVERIFY2(lines.size() == 1 ? timerLine.isEmpty() : lines[1].startsWith(timerLine),
             qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(lines.size() > 2 ? lines.last() : QString(), rule);
}

QTEST_GUILESS_MAIN(TestPortToolTip)
#include "tst_porttooltip.moc"
