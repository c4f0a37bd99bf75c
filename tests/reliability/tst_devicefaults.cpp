// The shown window with the real serial component over pseudo-terminals whose far end the test
// plays: devices that vanish, ports closed under a waiting exchange, a flooding far end and
// replies that straddle the end of the wait.
#include "app/form1.h"
#include "farend.h"
#include "serial/systemcomm.h"
#include "serial/systemports.h"
#include "support/processmetrics.h"
#include "window/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <random>
#include <thread>

namespace
{

constexpr int kPort = 5;
const QByteArray kDefaultRequest = QByteArray::fromHex("010300000002C40B");
// A reply to the default request: two registers, 10 and 11, with their CRC.
const QByteArray kReply = QByteArray::fromHex("010304000A000B9BF6");

// The log line of bytes, written out here digit by digit.
QString lineOf(const QByteArray &bytes)
{
    QStringList tokens;
    for (const char b : bytes)
        tokens << QStringLiteral("%1").arg(uint(quint8(b)), 2, 16, QLatin1Char('0')).toUpper();
    return tokens.join(QLatin1Char(' '));
}

} // namespace

class TestDeviceFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void deviceVanishes_data();
    void deviceVanishes();
    void portClosedDuringWait_data();
    void portClosedDuringWait();
    void windowClosedDuringWait_data();
    void windowClosedDuringWait();
    void floodDuringWait();
    void replyAcrossTheEndOfTheWait();

private:
    template <typename T> T *control(const char *name) const
    {
        T *w = m_form->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    void click(const char *name) const { control<QPushButton>(name)->click(); }
    void setDelay(const QString &ms) const { control<QLineEdit>("txtdelay")->setText(ms); }
    void newForm();
    bool openPort();
    // Whether the process stays almost idle over the next second.
    static double cpuOverOneSecond();

    QTemporaryDir m_configHome;
    QString m_portDirectory;
    std::unique_ptr<FarEnd> m_farEnd;
    std::unique_ptr<Form1> m_form;
    QStringList m_warnings;
};

void TestDeviceFaults::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(m_configHome.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
    m_portDirectory = serial::portDirectory();
    QVERIFY(QDir().mkpath(m_portDirectory));
}

void TestDeviceFaults::init()
{
    m_farEnd = std::make_unique<FarEnd>(kPort, m_portDirectory);
    QVERIFY(m_farEnd->isValid());
    newForm();
}

void TestDeviceFaults::newForm()
{
    m_form = std::make_unique<Form1>(
        Form1Services{serial::createSystemComm(), &serial::scanSystemPorts});
    m_form->setWarningPresenter([this](const QString &text) { m_warnings << text; });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    control<QComboBox>("cboComPort")->setCurrentIndex(kPort - 1);
}

void TestDeviceFaults::cleanup()
{
    m_form.reset();
    m_farEnd.reset();
    m_warnings.clear();
    QFile::remove(m_portDirectory + QStringLiteral("/com%1").arg(kPort));
}

bool TestDeviceFaults::openPort()
{
    const qsizetype warningsBefore = m_warnings.size();
    click("cmdopen");
    return m_warnings.size() == warningsBefore && enableState(*m_form) == kPortOpenIdle;
}

double TestDeviceFaults::cpuOverOneSecond()
{
    const double before = processmetrics::cpuMilliseconds();
    QTest::qWait(1000);
    return processmetrics::cpuMilliseconds() - before;
}

void TestDeviceFaults::deviceVanishes_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("during the wait of a single send") << "single";
    QTest::newRow("while the port is open and idle") << "idle";
    QTest::newRow("during continuous sending") << "continuous";
}

// One box, the port-closed state, an idle process; a new device under the same name opens
// and answers.
void TestDeviceFaults::deviceVanishes()
{
    QFETCH(QString, when);
    m_farEnd->onRequest = [this](const QByteArray &) {
        m_farEnd->send(kReply);
    };
    QVERIFY2(openPort(), qPrintable(m_warnings.join(QLatin1Char('\n'))));
    const QString devicePath = m_farEnd->pty().devicePath();

    if (when == QLatin1String("single")) {
        setDelay(QStringLiteral("400"));
        m_farEnd->onRequest = [this](const QByteArray &) {
            QTimer::singleShot(50, m_farEnd.get(), [this] { m_farEnd->drop(); });
        };
        click("cmdtr");
    } else if (when == QLatin1String("idle")) {
        m_farEnd->drop();
        QTest::qWait(200);
        QVERIFY(m_warnings.isEmpty()); // nothing is told until the port is used
        click("cmdtr");
    } else {
        setDelay(QStringLiteral("10"));
        click("cont_on");
        QTRY_VERIFY(logLines(*m_form).size() >= 20);
        m_farEnd->drop();
        QTRY_COMPARE_WITH_TIMEOUT(m_warnings.size(), 1, 3000);
    }

    QCOMPARE(m_warnings.size(), 1);
    QVERIFY2(m_warnings.constFirst().contains(devicePath), qPrintable(m_warnings.constFirst()));
    QVERIFY2(m_warnings.constFirst().contains(QLatin1String("plug it back in")),
             qPrintable(m_warnings.constFirst()));
    QCOMPARE(enableState(*m_form), kPortClosed);
    QCOMPARE(m_form->txBusy(), qint16(0));
    QVERIFY(!m_form->comm().portOpen());

    const double cpuMs = cpuOverOneSecond();
    QCOMPARE(m_warnings.size(), 1);
    QVERIFY2(cpuMs < 100.0,
             qPrintable(QStringLiteral("%1 ms of CPU in the second after").arg(cpuMs)));

    // The device returns under the same name.
    m_farEnd = std::make_unique<FarEnd>(kPort, m_portDirectory);
    QVERIFY(m_farEnd->isValid());
    m_farEnd->onRequest = [this](const QByteArray &) {
        m_farEnd->send(kReply);
    };
    QVERIFY2(openPort(), qPrintable(m_warnings.join(QLatin1Char('\n'))));
    setDelay(QStringLiteral("100"));
    click("cmbCLS");
    click("cmdtr");
    QCOMPARE(logLines(*m_form), QStringList{lineOf(kReply)});
    QCOMPARE(m_farEnd->received(), kDefaultRequest);
    QCOMPARE(m_warnings.size(), 1);
}

void TestDeviceFaults::portClosedDuringWait_data()
{
    QTest::addColumn<bool>("continuous");
    QTest::newRow("single send") << false;
    QTest::newRow("continuous sending stopped, then closed") << true;
}

// The operator's close ends the waiting exchange quietly: no box, no line, nothing written.
void TestDeviceFaults::portClosedDuringWait()
{
    QFETCH(bool, continuous);
    QVERIFY(openPort());
    click("cmbCLS");
    setDelay(QStringLiteral("500"));
    bool closedInWait = false;
    int requestsAtClose = -1;
    m_farEnd->onRequest = [&](const QByteArray &) {
        if (continuous && m_farEnd->requestCount() < 3) {
            m_farEnd->send(kReply);
            return;
        }
        QTimer::singleShot(100, m_form.get(), [&] {
            closedInWait = m_form->txBusy() != 0;
            if (continuous)
                click("cont_off"); // cmdclose is disabled while sending continuously
            click("cmdclose");
            requestsAtClose = m_farEnd->requestCount();
        });
    };
    if (continuous) {
        click("cont_on");
        QTRY_VERIFY_WITH_TIMEOUT(requestsAtClose >= 0, 5000);
    } else {
        click("cmdtr");
    }
    QVERIFY(closedInWait);
    const QStringList linesAtClose = logLines(*m_form);
    QTest::qWait(700);
    m_farEnd->readNow();

    QVERIFY2(m_warnings.isEmpty(), qPrintable(m_warnings.join(QLatin1Char('\n'))));
    QCOMPARE(enableState(*m_form), kPortClosed);
    QCOMPARE(m_form->txBusy(), qint16(0));
    QCOMPARE(logLines(*m_form), linesAtClose); // the abandoned exchange logs nothing
    QCOMPARE(linesAtClose.size(), continuous ? requestsAtClose - 1 : 0);
    QCOMPARE(m_farEnd->requestCount(), requestsAtClose);
    QCOMPARE(m_farEnd->received().size() % 8, 0);
    QCOMPARE(m_farEnd->received().left(8), kDefaultRequest);
}

void TestDeviceFaults::windowClosedDuringWait_data()
{
    QTest::addColumn<bool>("continuous");
    QTest::newRow("single send") << false;
    QTest::newRow("continuous sending") << true;
}

// Closing the window abandons the waiting exchange: nothing is read, logged or written after.
void TestDeviceFaults::windowClosedDuringWait()
{
    QFETCH(bool, continuous);
    QVERIFY(openPort());
    setDelay(QStringLiteral("500"));
    int requestsAtClose = -1;
    QString logAtClose;
    m_farEnd->onRequest = [&](const QByteArray &) {
        m_farEnd->sendLater(50, kReply);
        if (continuous && m_farEnd->requestCount() < 2)
            return;
        QTimer::singleShot(150, m_form.get(), [&] {
            logAtClose = m_form->logText();
            m_form->close();
            requestsAtClose = m_farEnd->requestCount();
        });
    };
    click(continuous ? "cont_on" : "cmdtr");
    QTRY_VERIFY_WITH_TIMEOUT(requestsAtClose >= 0, 5000);
    QTest::qWait(1000);
    m_farEnd->readNow();

    QVERIFY(!m_form->isVisible());
    QVERIFY2(m_warnings.isEmpty(), qPrintable(m_warnings.join(QLatin1Char('\n'))));
    QCOMPARE(m_farEnd->requestCount(), requestsAtClose);
    QCOMPARE(m_farEnd->received().size(), requestsAtClose * 8);
    QCOMPARE(m_form->logText(), logAtClose);
    QCOMPARE(m_form->txBusy(), qint16(0));
}

// A far end that pours 1 MiB of random bytes into a wait of one second: every byte it wrote
// before the read is in the one log line, in order, and the window answers a click meanwhile.
void TestDeviceFaults::floodDuringWait()
{
    constexpr qsizetype kFlood = 1024 * 1024;
    QByteArray flood(kFlood, Qt::Uninitialized);
    std::mt19937 random(20240611);
    for (char &b : flood)
        b = static_cast<char>(random() & 0xFF);

    m_farEnd->onRequest = [this](const QByteArray &) {
        m_farEnd->send(kReply);
    };
    QVERIFY(openPort());
    setDelay(QStringLiteral("100"));
    click("cmdtr"); // one line that the clear button must remove mid-wait
    QCOMPARE(logLines(*m_form).size(), 1);

    setDelay(QStringLiteral("1000"));
    std::thread writer;
    std::atomic<qint64> written{0};
    std::atomic<bool> writerDone{false};
    QElapsedTimer clock;
    qint64 writerFinishedAt = -1;
    qint64 clearedAt = -1;
    qint64 longestGapMs = 0;
    m_farEnd->onRequest = [&](const QByteArray &) {
        clock.start();
        const int fd = m_farEnd->pty().fd();
        writer = std::thread([&, fd] {
            qsizetype done = 0;
            while (done < kFlood) {
                const ssize_t n =
                    ::write(fd, flood.constData() + done, std::min<qsizetype>(4096, kFlood - done));
                if (n > 0) {
                    done += n;
                    written = done;
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    break;
                } else {
                    pollfd p{fd, POLLOUT, 0};
                    ::poll(&p, 1, 100);
                }
            }
            writerDone = true;
        });
        QTimer::singleShot(500, m_form.get(), [&] {
            click("cmbCLS");
            clearedAt = clock.elapsed();
        });
    };
    // How long the window goes without handling an event while the bytes pour in.
    QTimer heartbeat;
    qint64 lastBeat = -1;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        if (!clock.isValid())
            return;
        const qint64 now = clock.elapsed();
        if (writerDone && writerFinishedAt < 0)
            writerFinishedAt = now;
        if (lastBeat >= 0)
            longestGapMs = std::max(longestGapMs, now - lastBeat);
        lastBeat = now;
    });
    heartbeat.start(10);

    click("cmdtr");
    const qint64 readAt = clock.elapsed();
    heartbeat.stop();
    writer.join();

    QVERIFY2(writerFinishedAt >= 0 && writerFinishedAt < readAt - 50,
             qPrintable(QStringLiteral("the far end finished at %1 ms, the read was at %2 ms")
                            .arg(writerFinishedAt)
                            .arg(readAt)));
    QCOMPARE(qint64(written), qint64(kFlood));
    QVERIFY2(clearedAt > 0 && clearedAt < readAt, "the clear button was not handled in the wait");
    QVERIFY2(longestGapMs < 250,
             qPrintable(QStringLiteral("the window handled no event for %1 ms").arg(longestGapMs)));
    QVERIFY(m_warnings.isEmpty());
    qInfo("flood: %lld bytes written in %lld ms, read at %lld ms (wait 1000 ms), longest pause "
          "of the window %lld ms",
          qint64(written), writerFinishedAt, readAt, longestGapMs);

    const QStringList lines = logLines(*m_form);
    QCOMPARE(lines.size(), 1); // cleared mid-wait, then the flood's line
    const QStringList tokens = lines.constFirst().split(QLatin1Char(' '));
    QCOMPARE(tokens.size(), kFlood);
    QByteArray logged;
    logged.reserve(kFlood);
    for (const QString &token : tokens) {
        bool ok = false;
        const uint value = token.toUInt(&ok, 16);
        QVERIFY(ok && token.size() == 2 && value < 256);
        logged.append(static_cast<char>(value));
    }
    QVERIFY(logged == flood); // QCOMPARE would print a megabyte
    QVERIFY(m_form->rxBytes() == flood);
    QCOMPARE(m_farEnd->requestCount(), 2);

    // The next send starts from an emptied log and a clean receive buffer.
    m_farEnd->onRequest = [this](const QByteArray &) {
        m_farEnd->send(kReply);
    };
    setDelay(QStringLiteral("100"));
    click("cmdtr");
    QCOMPARE(logLines(*m_form), QStringList{lineOf(kReply)});
}

// Bytes that arrive before the read are logged; those that come after it are discarded with
// the next send, never shown in the next line.
void TestDeviceFaults::replyAcrossTheEndOfTheWait()
{
    QVERIFY(openPort());
    setDelay(QStringLiteral("300"));
    const QByteArray late = QByteArray::fromHex("AABBCC");
    m_farEnd->onRequest = [&](const QByteArray &) {
        // Before the end of the wait, straddling it, then well after it.
        m_farEnd->sendLater(20, QByteArray::fromHex("01"));
        m_farEnd->sendLater(120, QByteArray::fromHex("03"));
        m_farEnd->sendLater(240, QByteArray::fromHex("04 00"));
        m_farEnd->sendLater(360, late.left(1));
        m_farEnd->sendLater(420, late.mid(1));
    };
    click("cmdtr");
    const QByteArray beforeRead = m_farEnd->sentLater();
    QCOMPARE(beforeRead, QByteArray::fromHex("01030400"));
    QCOMPARE(logLines(*m_form), QStringList{lineOf(beforeRead)});
    QCOMPARE(control<QLineEdit>("txtreg0")->text(), QString()); // too short for a register

    QTRY_COMPARE(m_farEnd->sentLater(), QByteArray::fromHex("01030400") + late);
    QTest::qWait(50);
    const QByteArray reply = QByteArray::fromHex("01030400010002");
    m_farEnd->onRequest = [&](const QByteArray &) {
        m_farEnd->send(reply);
    };
    click("cmdtr");
    QCOMPARE(logLines(*m_form), (QStringList{lineOf(beforeRead), lineOf(reply)}));
    QCOMPARE(control<QLineEdit>("txtreg0")->text(), QStringLiteral("1"));
    QCOMPARE(control<QLineEdit>("txtreg1")->text(), QStringLiteral("2"));
    QVERIFY(m_warnings.isEmpty());
}

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
