#include "serial/portmap.h"
#include "serial/systemports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using serial::MappedPort;
using serial::PortLink;
using serial::SerialDevice;

Q_DECLARE_METATYPE(QList<PortLink>)
Q_DECLARE_METATYPE(QList<SerialDevice>)
Q_DECLARE_METATYPE(QList<MappedPort>)

namespace
{

MappedPort linked(int number, const char *path, const char *description = "")
{
    return {number, QLatin1String(path), QLatin1String(description), true};
}

MappedPort listed(int number, const char *path, const char *description = "")
{
    return {number, QLatin1String(path), QLatin1String(description), false};
}

QString show(const QList<MappedPort> &ports)
{
    QStringList lines;
    for (const MappedPort &p : ports)
        lines << QStringLiteral("Com%1=%2 [%3]%4")
                     .arg(p.number)
                     .arg(p.devicePath, p.description,
                          p.linked ? QStringLiteral(" linked") : QString());
    return lines.join(QLatin1Char('\n'));
}

} // namespace

class TestPortMap : public QObject
{
    Q_OBJECT

private slots:
    void mapPorts_data();
    void mapPorts();
    void linkNumber_data();
    void linkNumber();
    void readsLinksOfADirectory();
    void portDirectoryFollowsXdgConfigHome();
};

void TestPortMap::mapPorts_data()
{
    QTest::addColumn<QList<PortLink>>("links");
    QTest::addColumn<QList<SerialDevice>>("devices");
    QTest::addColumn<QList<MappedPort>>("expected");

    QTest::newRow("nothing") << QList<PortLink>{} << QList<SerialDevice>{} << QList<MappedPort>{};
    QTest::newRow("ttyS<k> is Com<k+1>")
        << QList<PortLink>{} << QList<SerialDevice>{{"/dev/ttyS3", ""}, {"/dev/ttyS0", ""}}
        << QList<MappedPort>{listed(1, "/dev/ttyS0"), listed(4, "/dev/ttyS3")};
    QTest::newRow("others fill the gaps left by ttyS")
        << QList<PortLink>{}
        << QList<SerialDevice>{{"/dev/ttyS1", ""}, {"/dev/ttyUSB0", "FT232R USB UART"}}
        << QList<MappedPort>{listed(1, "/dev/ttyUSB0", "FT232R USB UART"), listed(2, "/dev/ttyS1")};
    QTest::newRow("others in device path order, numbers compared as numbers")
        << QList<PortLink>{}
        << QList<SerialDevice>{{"/dev/ttyUSB10", ""},
                               {"/dev/ttyUSB2", ""},
                               {"/dev/ttyS0", ""},
                               {"/dev/ttyACM0", "CDC"},
                               {"/dev/rfcomm0", ""}}
        << QList<MappedPort>{listed(1, "/dev/ttyS0"), listed(2, "/dev/rfcomm0"),
                             listed(3, "/dev/ttyACM0", "CDC"), listed(4, "/dev/ttyUSB2"),
                             listed(5, "/dev/ttyUSB10")};
    QTest::newRow("links first, in ascending number")
        << QList<PortLink>{{10, "/dev/pts/4"}, {5, "/dev/pts/3"}}
        << QList<SerialDevice>{{"/dev/ttyS0", ""}}
        << QList<MappedPort>{linked(5, "/dev/pts/3"), linked(10, "/dev/pts/4"),
                             listed(1, "/dev/ttyS0")};
    QTest::newRow("a link holding a ttyS number moves that ttyS")
        << QList<PortLink>{{1, "/dev/pts/7"}}
        << QList<SerialDevice>{{"/dev/ttyUSB0", ""}, {"/dev/ttyS0", ""}, {"/dev/ttyS1", ""}}
        << QList<MappedPort>{linked(1, "/dev/pts/7"), listed(2, "/dev/ttyS1"),
                             listed(3, "/dev/ttyS0"), listed(4, "/dev/ttyUSB0")};
    QTest::newRow("a device a link names is not numbered again, keeps its description")
        << QList<PortLink>{{3, "/dev/ttyUSB0"}}
        << QList<SerialDevice>{{"/dev/ttyUSB0", "FT232R USB UART"}, {"/dev/ttyUSB1", ""}}
        << QList<MappedPort>{linked(3, "/dev/ttyUSB0", "FT232R USB UART"),
                             listed(1, "/dev/ttyUSB1")};
    QTest::newRow("a ttyS a link names leaves its number free")
        << QList<PortLink>{{9, "/dev/ttyS0"}}
        << QList<SerialDevice>{{"/dev/ttyS0", ""}, {"/dev/ttyS1", ""}, {"/dev/ttyUSB0", ""}}
        << QList<MappedPort>{linked(9, "/dev/ttyS0"), listed(1, "/dev/ttyUSB0"),
                             listed(2, "/dev/ttyS1")};
    QTest::newRow("dangling links are skipped and hold no number")
        << QList<PortLink>{{1, ""}, {2, "/dev/pts/2"}, {4, ""}}
        << QList<SerialDevice>{{"/dev/ttyUSB0", ""}, {"/dev/ttyS3", ""}}
        << QList<MappedPort>{linked(2, "/dev/pts/2"), listed(1, "/dev/ttyUSB0"),
                             listed(4, "/dev/ttyS3")};
    QTest::newRow("numbers above 16")
        << QList<PortLink>{{300, "/dev/pts/2"}, {17, "/dev/pts/1"}}
        << QList<SerialDevice>{{"/dev/ttyS31", ""}}
        << QList<MappedPort>{linked(17, "/dev/pts/1"), linked(300, "/dev/pts/2"),
                             listed(32, "/dev/ttyS31")};
    QTest::newRow("two links to one device, a device listed twice")
        << QList<PortLink>{{6, "/dev/ttyACM0"}, {5, "/dev/ttyACM0"}}
        << QList<SerialDevice>{{"/dev/ttyACM0", ""}, {"/dev/ttyACM1", ""}, {"/dev/ttyACM1", ""}}
        << QList<MappedPort>{linked(5, "/dev/ttyACM0"), linked(6, "/dev/ttyACM0"),
                             listed(1, "/dev/ttyACM1")};
    QTest::newRow("ttyS names that are not ttyS<k> count as others")
        << QList<PortLink>{}
        << QList<SerialDevice>{{"/dev/ttyS01", ""}, {"/dev/ttySAC0", ""}, {"/dev/ttyS2", ""}}
        << QList<MappedPort>{listed(1, "/dev/ttyS01"), listed(2, "/dev/ttySAC0"),
                             listed(3, "/dev/ttyS2")};
}

void TestPortMap::mapPorts()
{
    QFETCH(QList<PortLink>, links);
    QFETCH(QList<SerialDevice>, devices);
    QFETCH(QList<MappedPort>, expected);
    QCOMPARE(show(serial::mapPorts(links, devices)), show(expected));
}

void TestPortMap::linkNumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("com5") << "com5" << 5;
    QTest::newRow("com16") << "com16" << 16;
    QTest::newRow("com32767") << "com32767" << 32767;
    QTest::newRow("com32768 too big") << "com32768" << 0;
    QTest::newRow("com0") << "com0" << 0;
    QTest::newRow("leading zero") << "com05" << 0;
    QTest::newRow("upper case") << "COM5" << 0;
    QTest::newRow("mixed case") << "Com5" << 0;
    QTest::newRow("no number") << "com" << 0;
    QTest::newRow("trailing text") << "com5.bak" << 0;
    QTest::newRow("sign") << "com+5" << 0;
    QTest::newRow("prefix") << "xcom5" << 0;
}

void TestPortMap::linkNumber()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(serial::portLinkNumber(name), number);
}

void TestPortMap::readsLinksOfADirectory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("device"));
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString ports = dir.filePath(QStringLiteral("ports"));
    QVERIFY(QDir().mkpath(ports));
    QVERIFY(QFile::link(target, ports + QStringLiteral("/com1")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), ports + QStringLiteral("/com2")));
    QVERIFY(QFile::link(ports + QStringLiteral("/com1"), ports + QStringLiteral("/com12")));
    QVERIFY(QFile::link(target, ports + QStringLiteral("/COM4")));
    QVERIFY(QFile::link(target, ports + QStringLiteral("/com06")));
    {
        QFile plain(ports + QStringLiteral("/com3"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }

    const QString canonical = QFileInfo(target).canonicalFilePath();
    const QList<PortLink> links = serial::readPortLinks(ports);
    QCOMPARE(links.size(), 3);
    QCOMPARE(links[0].number, 1);
    QCOMPARE(links[0].target, canonical);
    QCOMPARE(links[1].number, 12);
    QCOMPARE(links[1].target, canonical); // a link to a link resolves to the end
    QCOMPARE(links[2].number, 2);
    QVERIFY(links[2].target.isEmpty()); // dangling

    QVERIFY(serial::readPortLinks(dir.filePath(QStringLiteral("missing"))).isEmpty());
}

void TestPortMap::portDirectoryFollowsXdgConfigHome()
{
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/conf");
    QCOMPARE(serial::portDirectory(), QStringLiteral("/srv/conf/wirelark/ports"));
    qputenv("HOME", "/home/op");
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(serial::portDirectory(), QStringLiteral("/home/op/.config/wirelark/ports"));
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(serial::portDirectory(), QStringLiteral("/home/op/.config/wirelark/ports"));
    qputenv("HOME", savedHome);
    if (savedXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedXdg);
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
