// Port links that point at things that are no serial device the user may use, opened from the
// shown window: each is refused with a message that says what to do, and nothing is written.
#include "app/form1.h"
#include "serial/systemcomm.h"
#include "serial/systemports.h"
#include "support/ptyfarend.h"
#include "window/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int kPort = 7;

struct Snapshot {
    bool exists = false;
    mode_t mode = 0;
    off_t size = 0;
    timespec modified{};
    QByteArray content;
    QStringList entries;
};

Snapshot snapshot(const QString &path)
{
    Snapshot s;
    struct stat info {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return s;
    s.exists = true;
    s.mode = info.st_mode;
    s.size = info.st_size;
    s.modified = info.st_mtim;
    if (S_ISREG(info.st_mode)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            s.content = file.readAll();
    } else if (S_ISDIR(info.st_mode)) {
        s.entries = QDir(path).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);
    }
    return s;
}

} // namespace

class TestPortLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void refusedTargets_data();
    void refusedTargets();
    void deviceTheUserMayNotOpen();

private:
    QString linkName() const { return m_portDirectory + QStringLiteral("/com%1").arg(kPort); }

    QTemporaryDir m_configHome;
    QTemporaryDir m_scratch;
    QString m_portDirectory;
};

void TestPortLinks::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(m_configHome.isValid() && m_scratch.isValid());
    // The unprivileged helper must reach the port directory.
    QVERIFY(QFile::setPermissions(m_configHome.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ReadGroup |
                                                           QFile::ExeGroup | QFile::ReadOther |
                                                           QFile::ExeOther));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
    m_portDirectory = serial::portDirectory();
    QVERIFY(QDir().mkpath(m_portDirectory));
    for (const QString &dir : {m_configHome.path() + QStringLiteral("/wirelark"), m_portDirectory})
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther));
}

void TestPortLinks::cleanup()
{
    QFile::remove(linkName());
}

void TestPortLinks::refusedTargets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("told");
    QTest::newRow("/dev/null") << "/dev/null"
                               << "Com7: %1 is a device that is not a terminal, not a "
                                  "serial device; nothing was written to it.";
    QTest::newRow("regular file") << "file"
                                  << "Com7: %1 is a regular file, not a serial device; nothing "
                                     "was written to it.";
    QTest::newRow("directory") << "directory"
                               << "Com7: %1 is a directory, not a serial device; nothing was "
                                  "written to it.";
    QTest::newRow("named pipe") << "fifo"
                                << "Com7: %1 is a named pipe, not a serial device; nothing was "
                                   "written to it.";
    QTest::newRow("link loop") << "loop"
                               << "Com7: %2 is a loop of symbolic links, not a serial device; "
                                  "nothing was written to it.";
    QTest::newRow("link to itself") << "self"
                                    << "Com7: %2 is a loop of symbolic links, not a serial "
                                       "device; nothing was written to it.";
}

void TestPortLinks::refusedTargets()
{
    QFETCH(QString, kind);
    QFETCH(QString, told);
    QString target = kind;
    int fifoReader = -1;
    if (kind == QLatin1String("file")) {
        target = m_scratch.filePath(QStringLiteral("capture.bin"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("measurements that must stay\n");
    } else if (kind == QLatin1String("directory")) {
        target = m_scratch.filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkpath(target));
    } else if (kind == QLatin1String("fifo")) {
        target = m_scratch.filePath(QStringLiteral("pipe"));
        QFile::remove(target);
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        // A reader, so that an open for writing would succeed and a byte would show.
        fifoReader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(fifoReader >= 0);
    } else if (kind == QLatin1String("loop")) {
        target = m_scratch.filePath(QStringLiteral("loop-a"));
        const QString other = m_scratch.filePath(QStringLiteral("loop-b"));
        QFile::remove(target);
        QFile::remove(other);
        QVERIFY(QFile::link(other, target));
        QVERIFY(QFile::link(target, other));
    } else if (kind == QLatin1String("self")) {
        target = linkName();
    }
    const bool loop = kind == QLatin1String("loop") || kind == QLatin1String("self");
    if (!loop)
        target = QFileInfo(target).canonicalFilePath();
    const Snapshot before = loop ? Snapshot() : snapshot(target);
    QVERIFY(QFile::link(target, linkName()));

    Form1 form({serial::createSystemComm(), &serial::scanSystemPorts});
    QStringList warnings;
    form.setWarningPresenter([&warnings](const QString &text) { warnings << text; });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.findChild<QComboBox *>(QStringLiteral("cboComPort"))->setCurrentIndex(kPort - 1);
    form.findChild<QPushButton *>(QStringLiteral("cmdopen"))->click();

    QCOMPARE(warnings.size(), 1);
    const QString expected =
        loop ? QString(told).replace(QLatin1String("%2"), linkName()) : QString(told).arg(target);
    QVERIFY2(warnings.constFirst().startsWith(expected), qPrintable(warnings.constFirst()));
    QVERIFY2(warnings.constFirst().contains(QLatin1String("Choose another port")),
             qPrintable(warnings.constFirst()));
    QCOMPARE(enableState(form), kPortClosed);
    QVERIFY(!form.comm().portOpen());

    // A send cannot reach it either: the send button is disabled and the component refuses.
    QVERIFY(form.comm().output(QByteArray::fromHex("010300000002C40B")).failed());

    const Snapshot after = loop ? Snapshot() : snapshot(target);
    QCOMPARE(after.exists, before.exists);
    QCOMPARE(after.mode, before.mode);
    QCOMPARE(after.size, before.size);
    QCOMPARE(after.modified.tv_sec, before.modified.tv_sec);
    QCOMPARE(after.modified.tv_nsec, before.modified.tv_nsec);
    QCOMPARE(after.content, before.content);
    QCOMPARE(after.entries, before.entries);
    if (fifoReader >= 0) {
        char c;
        QCOMPARE(::read(fifoReader, &c, 1), ssize_t(0)); // no writer ever came, no byte
        ::close(fifoReader);
    }
}

// A terminal owned by root and the group dialout, opened by the user nobody outside that
// group: the window tells which device, which group and what to do, and writes nothing.
void TestPortLinks::deviceTheUserMayNotOpen()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run the helper as the user nobody");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("setpriv is not installed");
    const group *dialout = ::getgrnam("dialout");
    if (!dialout)
        QSKIP("no group dialout on this machine");

    PtyFarEnd device;
    QVERIFY(device.isValid());
    const QByteArray path = QFile::encodeName(device.devicePath());
    QCOMPARE(::chown(path.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(::chmod(path.constData(), 0660), 0);
    QVERIFY(device.linkAs(m_portDirectory, kPort));

    QProcess helper;
    helper.setProcessChannelMode(QProcess::MergedChannels);
    helper.start(setpriv, {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                           QStringLiteral("--clear-groups"), QStringLiteral(PORT_OPEN_HELPER),
                           QString::number(kPort)});
    QVERIFY(helper.waitForFinished(20000));
    const QString output = QString::fromLocal8Bit(helper.readAll());
    QCOMPARE(helper.exitCode(), 0);
    const QStringList warnings =
        output.split(QLatin1Char('\n')).filter(QStringLiteral("warning: "));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.constFirst().startsWith(
                 QStringLiteral("warning: Com7: permission denied on %1, which belongs to the "
                                "group dialout. Add your user to that group")
                     .arg(device.devicePath())),
             qPrintable(output));
    QVERIFY2(output.contains(QLatin1String("log out and log in again")), qPrintable(output));
    QVERIFY2(output.contains(QLatin1String("open: 0")), qPrintable(output));
    QCOMPARE(device.receive(300), QByteArray());
}

QTEST_MAIN(TestPortLinks)
#include "tst_portlinks.moc"
