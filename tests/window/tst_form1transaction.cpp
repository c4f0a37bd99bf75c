#include "app/form1.h"
#include "app/logtextbox.h"
#include "support/fakeserialcomm.h"
#include "transaction/intervaltimer.h"
#include "window/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace
{

const QByteArray kTwoRegisterReply = QByteArray::fromHex("010304000A000B9BF6");
const QString kTwoRegisterLine = QStringLiteral("01 03 04 00 0A 00 0B 9B F6\r\n");

serial::CommError failure(int number, const char *text)
{
    return serial::CommError::make(number, QString::fromLatin1(text));
}

} // namespace

class TestForm1Transaction : public WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sendWritesWaitsLogsAndDecodes();
    void bytesWaitingBeforeTheSendAreDiscarded();
    void waitFollowsTxtdelay_data();
    void waitFollowsTxtdelay();
    void replyLongerThan32767BytesIsLoggedWhole();
    void readouts_data();
    void readouts();
    void unchangedReadoutKeepsItsSelection();
    void logBounds_data();
    void logBounds();
    void focusAndCaretAfterSendNotAfterTick();

    void sendDuringAWaitIsIgnored();
    void tickDuringAWaitIsIgnored();
    void clearDuringAWaitEmptiesTheLogTheLineLandsIn();
    void changedRegisterCountDuringAWaitChangesTheReadouts();
    void contOffDuringAWaitLetsTheTransactionLog();
    void sendAfterContOffRunsInsideTheFirstWait();
    void contOnDuringASingleSendWait();

    void continuousSendingRunsUntilOff();
    void contOffBeforeTheFirstTickRunsNothing();
    void clearWithThePortClosed();

    void portClosedDuringTheWaitEndsQuietly();
    void failedStepClosesThePortAndWarnsOnce_data();
    void failedStepClosesThePortAndWarnsOnce();
    void failureWhoseCloseFailsTooWarnsOnce();
    void portOpensAgainAfterAFailure();

    void windowClosedDuringTheWaitAbandonsTheTransaction_data();
    void windowClosedDuringTheWaitAbandonsTheTransaction();

private:
    LogTextBox *log() const { return control<LogTextBox>("Text2"); }
    // The calls that move bytes, in order.
    QStringList ioCalls() const;
    void openPort();
    void replyWith(const QByteArray &reply);
};

QStringList TestForm1Transaction::ioCalls() const
{
    QStringList io;
    for (const QString &call : std::as_const(m_comm->calls)) {
        if (call.startsWith(QLatin1String("InBufferCount")) ||
            call.startsWith(QLatin1String("Output")) || call == QLatin1String("Input"))
            io << call;
    }
    return io;
}

void TestForm1Transaction::openPort()
{
    button("cmdopen")->click();
    QVERIFY(m_comm->open);
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
    m_comm->calls.clear();
}

// The reply arrives behind whatever is still in the buffer, so bytes that the exchange failed to
// discard would show.
void TestForm1Transaction::replyWith(const QByteArray &reply)
{
    m_comm->onOutput = [this, reply](const QByteArray &) {
        m_comm->deliver(reply);
    };
}

void TestForm1Transaction::initTestCase()
{
    // A closed window must not end the test program's event loops.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestForm1Transaction::init()
{
    openWindow();
    field("txtdelay")->setText(QStringLiteral("30"));
}

void TestForm1Transaction::cleanup()
{
    closeWindow();
}

void TestForm1Transaction::sendWritesWaitsLogsAndDecodes()
{
    openPort();
    replyWith(kTwoRegisterReply);
    button("cmdtr")->click();
    QCOMPARE(ioCalls(),
             (QStringList{"InBufferCount=0", "Output=01 03 00 00 00 02 C4 0B", "Input"}));
    QCOMPARE(m_form->logText(), kTwoRegisterLine);
    QCOMPARE(m_form->rxBytes(), kTwoRegisterReply);
    QCOMPARE(shownReadouts(), (QStringList{"10", "11", ""}));
    QCOMPARE(m_form->txBusy(), qint16(0));
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
    // The line's verdict is its tool tip; the read-outs say which bytes they decode, from what.
    QVERIFY2(log()->lineToolTip(0).startsWith(QStringLiteral("Valid reply")),
             qPrintable(log()->lineToolTip(0)));
    QVERIFY(field("txtreg1")->toolTip().contains(QStringLiteral("Bytes 5 and 6")));
    QVERIFY(field("txtreg1")->toolTip().contains(QStringLiteral("From a valid reply")));

    // A second send appends a second line; nothing received gives the line end alone.
    replyWith({});
    button("cmdtr")->click();
    QCOMPARE(m_form->logText(), kTwoRegisterLine + QStringLiteral("\r\n"));
    QVERIFY(log()->lineToolTip(1).startsWith(QStringLiteral("No reply")));
    QVERIFY(field("txtreg0")->toolTip().contains(QStringLiteral("not valid: no reply")));
    QVERIFY(m_warnings.isEmpty());
}

void TestForm1Transaction::bytesWaitingBeforeTheSendAreDiscarded()
{
    openPort();
    m_comm->received = QByteArray::fromHex("EEEE");
    replyWith(QByteArray::fromHex("00"));
    button("cmdtr")->click();
    QCOMPARE(m_form->logText(), QStringLiteral("00\r\n"));
}

void TestForm1Transaction::waitFollowsTxtdelay_data()
{
    QTest::addColumn<QString>("delayText");
    QTest::addColumn<double>("minMs");
    QTest::addColumn<double>("maxMs");
    // The wait the line's tool tip names when it is shorter than the 22 ms the exchange needs at
    // 9600 baud; 0 when long enough. A busy machine stretches the measured time, never this.
    QTest::addColumn<int>("shortWaitMs");
    QTest::newRow("100 ms") << "100" << 100.0 << 180.0 << 0;
    QTest::newRow("empty waits the minimum") << "" << 10.0 << 90.0 << 10;
    QTest::newRow("not a number waits the minimum") << "1x" << 10.0 << 90.0 << 10;
    // The text as it stands, not as leaving the field would clamp it.
    QTest::newRow("1 typed, field not left") << "1" << 1.0 << 90.0 << 1;
}

void TestForm1Transaction::waitFollowsTxtdelay()
{
    QFETCH(QString, delayText);
    QFETCH(double, minMs);
    QFETCH(double, maxMs);
    QFETCH(int, shortWaitMs);
    openPort();
    field("txtdelay")->setText(delayText);
    QElapsedTimer sinceOutput;
    bool eventHandledBeforeInput = false;
    m_comm->onOutput = [&](const QByteArray &) {
        sinceOutput.start();
        QTimer::singleShot(0, this,
                           [&] { eventHandledBeforeInput = !ioCalls().contains("Input"); });
    };
    button("cmdtr")->click();
    const double ms = double(sinceOutput.nsecsElapsed()) / 1e6;
    QVERIFY2(ms >= minMs, qPrintable(QString::number(ms)));
    QVERIFY2(ms < maxMs, qPrintable(QString::number(ms)));
    QVERIFY(eventHandledBeforeInput);
    QVERIFY(m_warnings.isEmpty());
    QCOMPARE(m_form->logText(), QStringLiteral("\r\n"));
    const QString named = QStringLiteral("the wait of %1 ms is shorter").arg(shortWaitMs);
    QCOMPARE(log()->lineToolTip(0).contains(named), shortWaitMs > 0);
}

void TestForm1Transaction::replyLongerThan32767BytesIsLoggedWhole()
{
    openPort();
    replyWith(QByteArray(40000, char(0x5A)));
    button("cmdtr")->click();
    QCOMPARE(m_form->rxBytes().size(), 40000);
    const QString text = m_form->logText();
    QCOMPARE(text.size(), 40000 * 3 + 1);
    QVERIFY(text.startsWith(QStringLiteral("5A 5A ")));
    QVERIFY(text.endsWith(QStringLiteral(" 5A\r\n")));
}

void TestForm1Transaction::readouts_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three registers") << "0003" << QByteArray::fromHex("01030600010002FFFFBCC5")
                                     << QStringList{"1", "2", "65535"};
    QTest::newRow("count 0000") << "0000" << kTwoRegisterReply << QStringList{"", "", ""};
    QTest::newRow("nothing received empties all")
        << "0003" << QByteArray() << QStringList{"", "", ""};
    QTest::newRow("exception reply")
        << "0002" << QByteArray::fromHex("018302C0F1") << QStringList{"49393", "", ""};
}

void TestForm1Transaction::readouts()
{
    QFETCH(QString, count);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, expected);
    openPort();
    // Read-outs of an earlier transaction, to be replaced.
    field("txtnum")->setText(QStringLiteral("0003"));
    replyWith(QByteArray::fromHex("01030600070008000945A6"));
    button("cmdtr")->click();
    QCOMPARE(shownReadouts(), (QStringList{"7", "8", "9"}));

    field("txtnum")->setText(count);
    replyWith(reply);
    button("cmdtr")->click();
    QCOMPARE(shownReadouts(), expected);
}

void TestForm1Transaction::unchangedReadoutKeepsItsSelection()
{
    // The operator selects values to copy them, also while continuous sending runs.
    openPort();
    replyWith(kTwoRegisterReply);
    button("cmdtr")->click();
    QCOMPARE(shownReadouts(), (QStringList{"10", "11", ""}));
    field("txtreg0")->selectAll();
    field("txtreg1")->selectAll();
    replyWith(QByteArray::fromHex("010304000C000B0000"));
    button("cmdtr")->click();
    QCOMPARE(shownReadouts(), (QStringList{"12", "11", ""}));
    QVERIFY(!field("txtreg0")->hasSelectedText());
    QCOMPARE(field("txtreg1")->selectedText(), QStringLiteral("11"));
}

void TestForm1Transaction::logBounds_data()
{
    QTest::addColumn<bool>("byTick");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("send, 8000 kept") << false << 8000 << false;
    QTest::newRow("send, 8001 cleared") << false << 8001 << true;
    QTest::newRow("send, 5001 kept") << false << 5001 << false;
    QTest::newRow("tick, 5000 kept") << true << 5000 << false;
    QTest::newRow("tick, 5001 cleared") << true << 5001 << true;
}

void TestForm1Transaction::logBounds()
{
    QFETCH(bool, byTick);
    QFETCH(int, length);
    QFETCH(bool, cleared);
    openPort();
    // Lines end in CR LF, two characters each.
    const QString before =
        QStringLiteral("AB\r\n").repeated(length / 4) + QString(length % 4, QLatin1Char('X'));
    QCOMPARE(before.size(), length);
    log()->setText(before);
    replyWith(kTwoRegisterReply);
    if (byTick)
        m_form->Timer1_Timer();
    else
        button("cmdtr")->click();
    QCOMPARE(m_form->logText(), cleared ? kTwoRegisterLine : before + kTwoRegisterLine);
}

void TestForm1Transaction::focusAndCaretAfterSendNotAfterTick()
{
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    openPort();
    log()->setText(QStringLiteral("AA\r\nBB\r\n"));
    QTextCursor start = log()->textCursor();
    start.setPosition(0);
    log()->setTextCursor(start);

    field("txtdelay")->setFocus();
    QTRY_VERIFY(field("txtdelay")->hasFocus());
    replyWith(kTwoRegisterReply);
    m_form->Timer1_Timer();
    QVERIFY(field("txtdelay")->hasFocus());
    QCOMPARE(log()->textCursor().position(), 0);

    button("cmdtr")->click();
    QVERIFY(log()->hasFocus());
    const int end = log()->document()->characterCount() - 1;
    QCOMPARE(log()->textCursor().position(), end);
    QVERIFY(log()->textCursor().atEnd());
    QVERIFY(end > 0);
}

void TestForm1Transaction::sendDuringAWaitIsIgnored()
{
    openPort();
    field("txtdelay")->setText(QStringLiteral("150"));
    replyWith(kTwoRegisterReply);
    const QString longLog = QString(8001, QLatin1Char('Z'));
    QTimer::singleShot(40, this, [&] {
        log()->setText(longLog); // a second send that were not ignored would clear this
        button("cmdtr")->click();
    });
    button("cmdtr")->click();
    QCOMPARE(m_comm->written.size(), 1);
    QCOMPARE(m_form->logText(), longLog + kTwoRegisterLine);
}

void TestForm1Transaction::tickDuringAWaitIsIgnored()
{
    openPort();
    field("txtdelay")->setText(QStringLiteral("150"));
    replyWith(kTwoRegisterReply);
    QTimer::singleShot(40, this, [&] { m_form->Timer1_Timer(); });
    button("cmdtr")->click();
    QCOMPARE(m_comm->written.size(), 1);
    QCOMPARE(m_form->logText(), kTwoRegisterLine);
}

void TestForm1Transaction::clearDuringAWaitEmptiesTheLogTheLineLandsIn()
{
    openPort();
    replyWith(kTwoRegisterReply);
    button("cmdtr")->click();
    QCOMPARE(shownReadouts(), (QStringList{"10", "11", ""}));

    field("txtdelay")->setText(QStringLiteral("150"));
    replyWith(QByteArray::fromHex("0103040001"));
    QString logDuringWait = QStringLiteral("unset");
    QStringList readoutsDuringWait;
    QTimer::singleShot(40, this, [&] {
        button("cmbCLS")->click();
        logDuringWait = m_form->logText();
        readoutsDuringWait = shownReadouts();
    });
    button("cmdtr")->click();
    QCOMPARE(logDuringWait, QString());
    QCOMPARE(readoutsDuringWait, (QStringList{"", "", ""}));
    QCOMPARE(m_form->logText(), QStringLiteral("01 03 04 00 01\r\n"));
    QCOMPARE(shownReadouts(), (QStringList{"1", "", ""}));
}

void TestForm1Transaction::changedRegisterCountDuringAWaitChangesTheReadouts()
{
    openPort();
    field("txtdelay")->setText(QStringLiteral("150"));
    replyWith(QByteArray::fromHex("01030600010002FFFFBCC5"));
    QTimer::singleShot(40, this, [&] { field("txtnum")->setText(QStringLiteral("0003")); });
    button("cmdtr")->click();
    // The request asked for two registers; the read-outs follow the count as it stands now.
    QCOMPARE(m_comm->written.value(0), QByteArray::fromHex("010300000002C40B"));
    QCOMPARE(shownReadouts(), (QStringList{"1", "2", "65535"}));
}

void TestForm1Transaction::contOffDuringAWaitLetsTheTransactionLog()
{
    openPort();
    field("txtdelay")->setText(QStringLiteral("150"));
    qint16 busyAfterOff = -1;
    QString stateAfterOff;
    m_comm->onOutput = [&](const QByteArray &) {
        m_comm->received = kTwoRegisterReply;
        QTimer::singleShot(40, this, [&] {
            button("cont_off")->click();
            busyAfterOff = m_form->txBusy();
            stateAfterOff = enableState(*m_form);
        });
    };
    button("cont_on")->click();
    QCOMPARE(enableState(*m_form), kContinuous);
    QTRY_COMPARE(ioCalls().count("Input"), 1);
    QCOMPARE(busyAfterOff, qint16(0));
    QCOMPARE(stateAfterOff, kPortOpenIdle);
    QCOMPARE(m_form->logText(), kTwoRegisterLine);
    QCOMPARE(shownReadouts(), (QStringList{"10", "11", ""}));
    QTest::qWait(100);
    QCOMPARE(m_comm->written.size(), 1);
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
    QCOMPARE(m_form->txBusy(), qint16(0));
}

void TestForm1Transaction::sendAfterContOffRunsInsideTheFirstWait()
{
    openPort();
    field("txtdelay")->setText(QStringLiteral("150"));
    int outputs = 0;
    m_comm->onOutput = [&](const QByteArray &) {
        ++outputs;
        m_comm->received = outputs == 1 ? QByteArray::fromHex("0101") : QByteArray::fromHex("0202");
        if (outputs == 1) {
            QTimer::singleShot(30, this, [&] { button("cont_off")->click(); });
            QTimer::singleShot(60, this, [&] { button("cmdtr")->click(); });
        }
    };
    button("cont_on")->click();
    QTRY_COMPARE(ioCalls().count("Input"), 2);
    // The second transaction discarded the first one's reply, logged its own, and the first
    // then read what was left: nothing.
    const QString output = QStringLiteral("Output=01 03 00 00 00 02 C4 0B");
    QCOMPARE(ioCalls(),
             (QStringList{"InBufferCount=0", output, "InBufferCount=0", output, "Input", "Input"}));
    QCOMPARE(m_form->logText(), QStringLiteral("02 02\r\n\r\n"));
    QCOMPARE(m_form->txBusy(), qint16(0));
    QTest::qWait(100);
    QCOMPARE(outputs, 2);
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
}

void TestForm1Transaction::contOnDuringASingleSendWait()
{
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    openPort();
    field("txtdelay")->setText(QStringLiteral("150"));
    replyWith(kTwoRegisterReply);
    int writtenLateInTheWait = -1;
    QTimer::singleShot(30, this, [&] { button("cont_on")->click(); });
    QTimer::singleShot(120, this, [&] { writtenLateInTheWait = int(m_comm->written.size()); });
    button("cmdtr")->click();
    QCOMPARE(writtenLateInTheWait, 1);
    QCOMPARE(m_comm->written.size(), 1);
    QVERIFY(log()->hasFocus());
    QCOMPARE(enableState(*m_form), kContinuous);
    QTRY_VERIFY(m_comm->written.size() >= 2);
    button("cont_off")->click();
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
}

void TestForm1Transaction::continuousSendingRunsUntilOff()
{
    openPort();
    field("txtdelay")->setText(QStringLiteral("10"));
    // Ticks would wake the process every millisecond of every wait.
    const auto *timer = control<transaction::IntervalTimer>("Timer1");
    QList<bool> suspendedDuringWaits;
    m_comm->onOutput = [&](const QByteArray &) {
        m_comm->deliver(kTwoRegisterReply);
        suspendedDuringWaits << timer->isSuspended();
    };
    button("cont_on")->click();
    QCOMPARE(enableState(*m_form), kContinuous);
    QTRY_VERIFY_WITH_TIMEOUT(m_comm->written.size() >= 10, 3000);
    button("cont_off")->click();
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
    QCOMPARE(m_form->txBusy(), qint16(0));
    QTRY_COMPARE(m_form->logText().count(QLatin1String("\r\n")), m_comm->written.size());
    const qsizetype sent = m_comm->written.size();
    QTest::qWait(100);
    QCOMPARE(m_comm->written.size(), sent);
    QCOMPARE(m_form->logText(), kTwoRegisterLine.repeated(sent));
    QVERIFY(!suspendedDuringWaits.contains(false));
    QVERIFY(!timer->isSuspended());
}

void TestForm1Transaction::contOffBeforeTheFirstTickRunsNothing()
{
    openPort();
    button("cont_on")->click();
    button("cont_off")->click();
    QTest::qWait(50);
    QVERIFY(m_comm->written.isEmpty());
    QCOMPARE(enableState(*m_form), kPortOpenIdle);
}

void TestForm1Transaction::clearWithThePortClosed()
{
    openPort();
    replyWith(kTwoRegisterReply);
    button("cmdtr")->click();
    button("cmdclose")->click();
    QCOMPARE(enableState(*m_form), kPortClosed);
    QVERIFY(button("cmbCLS")->isEnabled());
    button("cmbCLS")->click();
    QCOMPARE(m_form->logText(), QString());
    QCOMPARE(shownReadouts(), (QStringList{"", "", ""}));
}

void TestForm1Transaction::portClosedDuringTheWaitEndsQuietly()
{
    activateWindow();
    openPort();
    replyWith(kTwoRegisterReply);
    button("cmdtr")->click();
    field("txtdelay")->setText(QStringLiteral("150"));
    field("txtdelay")->setFocus();
    QTRY_VERIFY(field("txtdelay")->hasFocus());
    log()->moveCursor(QTextCursor::Start);
    replyWith(QByteArray::fromHex("0103040001"));
    QTimer::singleShot(40, this, [&] { button("cmdclose")->click(); });
    button("cmdtr")->click();
    QCOMPARE(m_form->logText(), kTwoRegisterLine);
    QCOMPARE(shownReadouts(), (QStringList{"10", "11", ""}));
    QCOMPARE(m_form->rxBytes(), kTwoRegisterReply);
    QCOMPARE(m_form->txBusy(), qint16(0));
    QVERIFY(m_warnings.isEmpty());
    QCOMPARE(enableState(*m_form), kPortClosed);
    QVERIFY(field("txtdelay")->hasFocus());
    QCOMPARE(log()->textCursor().position(), 0);
}

void TestForm1Transaction::failedStepClosesThePortAndWarnsOnce_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("continuous");
    for (const char *step : {"InBufferCount", "Output", "Input"}) {
        QTest::addRow("%s fails, single send", step) << QString::fromLatin1(step) << false;
        QTest::addRow("%s fails, continuous", step) << QString::fromLatin1(step) << true;
    }
}

void TestForm1Transaction::failedStepClosesThePortAndWarnsOnce()
{
    QFETCH(QString, step);
    QFETCH(bool, continuous);
    activateWindow();
    openPort();
    log()->setText(QStringLiteral("AA\r\n"));
    field("txtdelay")->setFocus();
    QTRY_VERIFY(field("txtdelay")->hasFocus());
    replyWith(kTwoRegisterReply);
    const serial::CommError lost = failure(serial::CommError::DeviceLost, "Com3 was lost");
    if (step == QLatin1String("InBufferCount"))
        m_comm->failures.setInBufferCount = lost;
    else if (step == QLatin1String("Output"))
        m_comm->failures.output = lost;
    else
        m_comm->failures.input = lost;

    // The box is modal: events, ticks among them, keep coming while it is shown.
    QString stateWhenShown;
    bool openWhenShown = true;
    m_form->setWarningPresenter([&](const QString &text) {
        m_warnings << text;
        stateWhenShown = enableState(*m_form);
        openWhenShown = m_comm->open;
        QTest::qWait(100);
    });
    if (continuous)
        button("cont_on")->click();
    else
        button("cmdtr")->click();
    QTRY_COMPARE(m_warnings.size(), 1);
    QTest::qWait(100);

    QCOMPARE(m_warnings, QStringList{"Com3 was lost"});
    QCOMPARE(stateWhenShown, kPortClosed);
    QVERIFY(!openWhenShown);
    QVERIFY(m_comm->calls.contains("PortOpen=false"));
    QCOMPARE(enableState(*m_form), kPortClosed);
    QCOMPARE(m_form->txBusy(), qint16(0));
    QCOMPARE(m_form->logText(), QStringLiteral("AA\r\n"));
    QCOMPARE(m_comm->written.size(), step == QLatin1String("Input") ? 1 : 0);
    // Only a completed exchange moves focus and caret to the log.
    QVERIFY(field("txtdelay")->hasFocus());
    QCOMPARE(log()->textCursor().position(), 0);
    QCOMPARE(ioCalls().count(), step == QLatin1String("InBufferCount") ? 1
                                : step == QLatin1String("Output")      ? 2
                                                                       : 3);
}

void TestForm1Transaction::failureWhoseCloseFailsTooWarnsOnce()
{
    openPort();
    m_comm->failures.input = failure(serial::CommError::DeviceLost, "gone");
    m_comm->failures.close = failure(serial::CommError::DeviceLost, "close refused");
    button("cmdtr")->click();
    QCOMPARE(m_warnings, QStringList{"gone"});
    QCOMPARE(enableState(*m_form), kPortClosed);
    QCOMPARE(m_form->txBusy(), qint16(0));
}

void TestForm1Transaction::portOpensAgainAfterAFailure()
{
    openPort();
    m_comm->failures.output = failure(serial::CommError::WriteFailed, "write failed");
    button("cmdtr")->click();
    QCOMPARE(enableState(*m_form), kPortClosed);
    m_comm->failures = {};
    openPort();
    replyWith(kTwoRegisterReply);
    button("cmdtr")->click();
    QCOMPARE(m_form->logText(), kTwoRegisterLine);
    QCOMPARE(m_warnings, QStringList{"write failed"});
}

void TestForm1Transaction::windowClosedDuringTheWaitAbandonsTheTransaction_data()
{
    QTest::addColumn<bool>("continuous");
    QTest::newRow("single send") << false;
    QTest::newRow("continuous") << true;
}

void TestForm1Transaction::windowClosedDuringTheWaitAbandonsTheTransaction()
{
    QFETCH(bool, continuous);
    openPort();
    log()->setText(QStringLiteral("AA\r\n"));
    field("txtdelay")->setText(QStringLiteral("5000"));
    QElapsedTimer sinceClose;
    m_comm->onOutput = [&](const QByteArray &) {
        m_comm->received = kTwoRegisterReply;
        QTimer::singleShot(50, this, [&] {
            sinceClose.start();
            m_form->close();
        });
    };
    if (continuous)
        button("cont_on")->click();
    else
        button("cmdtr")->click();
    QTRY_VERIFY(!m_form->isVisible() && m_form->txBusy() == 0);
    QVERIFY(sinceClose.isValid());
    QVERIFY2(sinceClose.elapsed() < 500, qPrintable(QString::number(sinceClose.elapsed())));
    QTest::qWait(100);
    QCOMPARE(m_comm->written.size(), 1);
    QVERIFY(!ioCalls().contains("Input"));
    QCOMPARE(m_form->logText(), QStringLiteral("AA\r\n"));
    QCOMPARE(shownReadouts(), (QStringList{"", "", ""}));
    QVERIFY(m_warnings.isEmpty());
}

QTEST_MAIN(TestForm1Transaction)
#include "tst_form1transaction.moc"
