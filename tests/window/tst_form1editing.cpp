#include "window/windowfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

using frame::RequestFrame;

Q_DECLARE_METATYPE(RequestFrame)

// Editing the request and the wait in the shown window, with key presses and focus moves as
// the operator makes them. Runs on an X server: focus and activation are real.
class TestForm1Editing : public WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tabWalksEveryControlInOrder();
    void tabSkipsDisabledControls();
    void tabSelectsWholeText_data();
    void tabSelectsWholeText();
    void leavingRequestFieldNormalisesAllFour_data();
    void leavingRequestFieldNormalisesAllFour();
    void leavingByClickNormalisesToo();
    void typingStopsAtMaximumLength_data();
    void typingStopsAtMaximumLength();
    void keyFilters_data();
    void keyFilters();
    void backspaceDeletesInEveryField();
    void controlKeysAreDropped();
    void keysWithoutCharacterKeepTheirEffect();
    void leavingWaitFieldClamps_data();
    void leavingWaitFieldClamps();
    void pastedTextInWaitFieldLeavesAsMinimum();
    void windowDeactivationIsNoFocusLoss();
    void keysThroughTheXServer();
    void dropDownsTakeWhatIsTyped_data();
    void dropDownsTakeWhatIsTyped();

private:
    // Presses keys through the X server, as a keyboard does; skips the test without xdotool.
    void xKeys(const QStringList &arguments);
    QWidget *focused() const { return QApplication::focusWidget(); }
    void pressTab() { QTest::keyClick(focused(), Qt::Key_Tab); }
    // Gives the focus to the control that comes before `name`, then presses Tab.
    void tabInto(const QString &name);
    void type(const QString &keys) { QTest::keyClicks(focused(), keys); }
};

namespace
{

const QStringList kTabOrder = {"cboComPort", "cbospeed", "cboset",   "txtadr",  "txtfun",
                               "txtres",     "txtnum",   "txtcrc",   "cmdopen", "cmdclose",
                               "cmdtr",      "txtdelay", "Text2",    "cmbCLS",  "txtreg2",
                               "txtreg1",    "txtreg0",  "cont_off", "cont_on"};

} // namespace

void TestForm1Editing::init()
{
    openWindow(nullptr, {}, false);
    activateWindow();
}

void TestForm1Editing::cleanup()
{
    closeWindow();
}

void TestForm1Editing::tabInto(const QString &name)
{
    const qsizetype at = kTabOrder.indexOf(name);
    QVERIFY(at > 0);
    qsizetype before = at - 1;
    while (!control(kTabOrder.at(before))->isEnabled())
        --before;
    control(kTabOrder.at(before))->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(focused(), control(kTabOrder.at(before)));
    pressTab();
    QTRY_COMPARE(focused(), control(name));
}

void TestForm1Editing::tabWalksEveryControlInOrder()
{
    for (const char *name : {"cmdclose", "cmdtr", "cont_on", "cont_off"})
        control(name)->setEnabled(true);
    QTRY_COMPARE(focused(), control("cboComPort"));

    QStringList forward;
    for (int i = 0; i < kTabOrder.size(); ++i) {
        pressTab();
        forward << focused()->objectName();
    }
    QCOMPARE(forward, kTabOrder.mid(1) + QStringList{"cboComPort"});

    QStringList backward;
    for (int i = 0; i < kTabOrder.size(); ++i) {
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward << focused()->objectName();
    }
    QStringList reversed(kTabOrder.rbegin(), kTabOrder.rend());
    QCOMPARE(backward, reversed);
}

void TestForm1Editing::tabSkipsDisabledControls()
{
    QTRY_COMPARE(focused(), control("cboComPort"));
    QStringList walked;
    for (int i = 0; i < 15; ++i) {
        pressTab();
        walked << focused()->objectName();
    }
    QStringList expected = kTabOrder;
    for (const char *name : {"cboComPort", "cmdclose", "cmdtr", "cont_on", "cont_off"})
        expected.removeOne(QLatin1String(name));
    expected << QStringLiteral("cboComPort");
    QCOMPARE(walked, expected);
}

void TestForm1Editing::tabSelectsWholeText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");

    QTest::newRow("txtadr") << "txtadr"
                            << "b";
    QTest::newRow("txtfun") << "txtfun"
                            << "4";
    QTest::newRow("txtres") << "txtres"
                            << "C";
    QTest::newRow("txtnum") << "txtnum"
                            << "7";
    QTest::newRow("txtdelay") << "txtdelay"
                              << "5";
}

void TestForm1Editing::tabSelectsWholeText()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    tabInto(name);
    QTest::qWait(20); // whatever the field does after taking the focus has happened
    QVERIFY(!field(name)->text().isEmpty());
    QCOMPARE(field(name)->selectedText(), field(name)->text());
    type(key);
    QCOMPARE(field(name)->text(), key);
}

void TestForm1Editing::leavingRequestFieldNormalisesAllFour_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("crc");

    // CRCs computed by python3-crcmod's predefined "modbus" function, low byte first.
    QTest::newRow("address a") << "txtadr"
                               << "a" << QStringList{"0A", "03", "0000", "0002"} << "C570";
    QTest::newRow("address ab") << "txtadr"
                                << "ab" << QStringList{"AB", "03", "0000", "0002"} << "DC01";
    QTest::newRow("function 10") << "txtfun"
                                 << "10" << QStringList{"01", "10", "0000", "0002"} << "41C8";
    QTest::newRow("function emptied") << "txtfun"
                                      << "\b" << QStringList{"01", "00", "0000", "0002"} << "800B";
    QTest::newRow("register 6b") << "txtres"
                                 << "6b" << QStringList{"01", "03", "006B", "0002"} << "B5D7";
    QTest::newRow("register 1234") << "txtres"
                                   << "1234" << QStringList{"01", "03", "1234", "0002"} << "80BD";
    QTest::newRow("count a") << "txtnum"
                             << "a" << QStringList{"01", "03", "0000", "000A"} << "C5CD";
}

void TestForm1Editing::leavingRequestFieldNormalisesAllFour()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QStringList, fields);
    QFETCH(QString, crc);

    // Texts that are not in normal form, as a paste could leave them.
    field("txtadr")->setText(QStringLiteral("1"));
    field("txtfun")->setText(QStringLiteral("3"));
    field("txtres")->setText(QStringLiteral("0"));
    field("txtnum")->setText(QStringLiteral("2"));
    const RequestFrame before = m_form->txFrame();

    tabInto(name);
    if (typed == QLatin1String("\b"))
        QTest::keyClick(focused(), Qt::Key_Backspace);
    else
        type(typed);
    // Typing changes neither the request nor its CRC.
    QCOMPARE(m_form->txFrame(), before);
    QCOMPARE(field("txtcrc")->text(), QStringLiteral("C40B"));

    pressTab();
    const QStringList names = {"txtadr", "txtfun", "txtres", "txtnum"};
    QStringList shown;
    for (const QString &n : names)
        shown << field(n)->text();
    QCOMPARE(shown, fields);
    QCOMPARE(field("txtcrc")->text(), crc);
    // The frame is the four texts and the CRC text read as hexadecimal bytes.
    const QByteArray bytes = QByteArray::fromHex((fields.join(QString()) + crc).toLatin1());
    QCOMPARE(bytes.size(), 8);
    RequestFrame expected{};
    std::copy(bytes.begin(), bytes.end(), expected.begin());
    QCOMPARE(m_form->txFrame(), expected);
}

void TestForm1Editing::leavingByClickNormalisesToo()
{
    tabInto(QStringLiteral("txtres"));
    type(QStringLiteral("6b"));
    QTest::mouseClick(field("txtdelay"), Qt::LeftButton);
    QTRY_COMPARE(focused(), control("txtdelay"));
    QCOMPARE(field("txtres")->text(), QStringLiteral("006B"));
    QCOMPARE(field("txtcrc")->text(), QStringLiteral("B5D7"));
}

void TestForm1Editing::typingStopsAtMaximumLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("txtadr") << "txtadr"
                            << "123"
                            << "12";
    QTest::newRow("txtfun") << "txtfun"
                            << "abc"
                            << "ab";
    QTest::newRow("txtres") << "txtres"
                            << "12345"
                            << "1234";
    QTest::newRow("txtnum") << "txtnum"
                            << "fffff"
                            << "ffff";
    QTest::newRow("txtdelay") << "txtdelay"
                              << "123456"
                              << "12345";
}

void TestForm1Editing::typingStopsAtMaximumLength()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    tabInto(name);
    type(typed);
    QCOMPARE(field(name)->text(), expected);
}

void TestForm1Editing::keyFilters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    // Each field is entered with Tab, its whole text selected.
    QTest::newRow("g inserts nothing") << "txtadr"
                                       << "g"
                                       << "01";
    QTest::newRow("space inserts nothing") << "txtadr"
                                           << " "
                                           << "01";
    QTest::newRow("letters dropped, digit replaces") << "txtadr"
                                                     << "gz1"
                                                     << "1";
    QTest::newRow("lower-case hex stays as typed") << "txtadr"
                                                   << "a"
                                                   << "a";
    QTest::newRow("upper-case hex") << "txtres"
                                    << "0x1F"
                                    << "01F";
    QTest::newRow("punctuation dropped") << "txtnum"
                                         << "+-.,1"
                                         << "1";
    QTest::newRow("wait: letter inserts nothing") << "txtdelay"
                                                  << "a"
                                                  << "100";
    QTest::newRow("wait: hex letters dropped") << "txtdelay"
                                               << "f5e"
                                               << "5";
    QTest::newRow("wait: digits") << "txtdelay"
                                  << "250"
                                  << "250";
}

void TestForm1Editing::keyFilters()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    tabInto(name);
    type(typed);
    QCOMPARE(field(name)->text(), expected);
}

void TestForm1Editing::backspaceDeletesInEveryField()
{
    for (const char *name : {"txtadr", "txtfun", "txtres", "txtnum", "txtdelay"}) {
        tabInto(QLatin1String(name));
        const QString text = field(name)->text();
        QTest::keyClick(focused(), Qt::Key_End);
        QTest::keyClick(focused(), Qt::Key_Backspace);
        QCOMPARE(field(name)->text(), text.chopped(1));
    }
}

void TestForm1Editing::controlKeysAreDropped()
{
    QGuiApplication::clipboard()->setText(QStringLiteral("99"));
    tabInto(QStringLiteral("txtadr"));
    QTest::keyClick(focused(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field("txtadr")->text(), QStringLiteral("01"));
    QTest::keyClick(focused(), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(field("txtadr")->text(), QStringLiteral("01"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("99"));
    QTest::keyClick(focused(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("99"));
    QTest::keyClick(focused(), Qt::Key_Return);
    QTest::keyClick(focused(), Qt::Key_Escape);
    QCOMPARE(field("txtadr")->text(), QStringLiteral("01"));
    QCOMPARE(focused(), control("txtadr"));

    type(QStringLiteral("5"));
    QTest::keyClick(focused(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(field("txtadr")->text(), QStringLiteral("5"));
    QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
    QVERIFY(field("txtadr")->selectedText().isEmpty());
}

void TestForm1Editing::keysWithoutCharacterKeepTheirEffect()
{
    tabInto(QStringLiteral("txtres"));
    type(QStringLiteral("1234"));
    QTest::keyClick(focused(), Qt::Key_Left);
    QTest::keyClick(focused(), Qt::Key_Left);
    QTest::keyClick(focused(), Qt::Key_Delete);
    QCOMPARE(field("txtres")->text(), QStringLiteral("124"));
    QTest::keyClick(focused(), Qt::Key_Home);
    QTest::keyClick(focused(), Qt::Key_Delete);
    QCOMPARE(field("txtres")->text(), QStringLiteral("24"));
    QTest::keyClick(focused(), Qt::Key_End);
    type(QStringLiteral("f"));
    QCOMPARE(field("txtres")->text(), QStringLiteral("24f"));
}

void TestForm1Editing::leavingWaitFieldClamps_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("99999") << "99999"
                           << "10000";
    QTest::newRow("10001") << "10001"
                           << "10000";
    QTest::newRow("10000 kept") << "10000"
                                << "10000";
    QTest::newRow("5") << "5"
                       << "10";
    QTest::newRow("0") << "0"
                       << "10";
    QTest::newRow("10 kept") << "10"
                             << "10";
    QTest::newRow("0050 kept as typed") << "0050"
                                        << "0050";
    QTest::newRow("emptied") << "\b"
                             << "10";
}

void TestForm1Editing::leavingWaitFieldClamps()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    tabInto(QStringLiteral("txtdelay"));
    if (typed == QLatin1String("\b"))
        QTest::keyClick(focused(), Qt::Key_Backspace);
    else
        type(typed);
    pressTab();
    QCOMPARE(focused(), control("Text2"));
    QCOMPARE(field("txtdelay")->text(), expected);
    // The request is not touched by the wait field.
    QCOMPARE(field("txtcrc")->text(), QStringLiteral("C40B"));
}

void TestForm1Editing::pastedTextInWaitFieldLeavesAsMinimum()
{
    tabInto(QStringLiteral("txtdelay"));
    field("txtdelay")->insert(QStringLiteral("abc"));
    QCOMPARE(field("txtdelay")->text(), QStringLiteral("abc"));
    pressTab();
    QCOMPARE(field("txtdelay")->text(), QStringLiteral("10"));
}

void TestForm1Editing::windowDeactivationIsNoFocusLoss()
{
    tabInto(QStringLiteral("txtadr"));
    type(QStringLiteral("a"));

    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QCOMPARE(field("txtadr")->text(), QStringLiteral("a"));
    QCOMPARE(field("txtcrc")->text(), QStringLiteral("C40B"));

    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTRY_COMPARE(focused(), control("txtadr"));
    QCOMPARE(field("txtadr")->text(), QStringLiteral("a"));

    pressTab();
    QCOMPARE(field("txtadr")->text(), QStringLiteral("0A"));
    QCOMPARE(field("txtcrc")->text(), QStringLiteral("C570"));
}

// Real key presses through the X server and the platform's keyboard handling, not synthetic
// Qt events: the character codes the filters see are the ones a keyboard produces.
void TestForm1Editing::keysThroughTheXServer()
{
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xdotool.isEmpty())
        QSKIP("xdotool is not installed");
    const auto keys = [&](const QStringList &names) {
        QProcess::execute(xdotool, QStringList{"key", "--delay", "15"} + names);
    };
    QGuiApplication::clipboard()->setText(QStringLiteral("99"));

    tabInto(QStringLiteral("txtadr"));
    keys({"g", "space", "1", "a"});
    QTRY_COMPARE(field("txtadr")->text(), QStringLiteral("1a"));
    keys({"BackSpace", "ctrl+v", "Return", "Escape", "ctrl+z"});
    QTRY_COMPARE(field("txtadr")->text(), QStringLiteral("1"));
    keys({"ctrl+a", "KP_7"});
    QTRY_COMPARE(field("txtadr")->text(), QStringLiteral("17"));
    keys({"Tab"});
    QTRY_COMPARE(focused(), control("txtfun"));
    QCOMPARE(field("txtfun")->selectedText(), QStringLiteral("03"));
    QCOMPARE(field("txtadr")->text(), QStringLiteral("17"));
    keys({"Tab"});
    QTRY_COMPARE(focused(), control("txtres"));
    keys({"End", "Left", "Delete", "Home", "Delete", "F"});
    QTRY_COMPARE(field("txtres")->text(), QStringLiteral("F00"));

    tabInto(QStringLiteral("txtdelay"));
    keys({"a", "shift+5", "2", "KP_5", "0"});
    QTRY_COMPARE(field("txtdelay")->text(), QStringLiteral("250"));
}

void TestForm1Editing::xKeys(const QStringList &arguments)
{
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xdotool.isEmpty())
        QSKIP("xdotool is not installed");
    QProcess::execute(xdotool, arguments);
}

void TestForm1Editing::dropDownsTakeWhatIsTyped_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("finish");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("openCall"); // what the open hands the serial component
    QTest::addColumn<bool>("refused");
    QTest::newRow("Com, Tab: no completion to Com1") << "cboComPort"
                                                     << "Com"
                                                     << "Tab" << 16 << "" << true;
    QTest::newRow("COM5, Enter: no case folding to Com5") << "cboComPort"
                                                          << "COM5"
                                                          << "Return" << 16 << "" << true;
    QTest::newRow("Com20, Enter: no 17th entry") << "cboComPort"
                                                 << "Com20"
                                                 << "Return" << 16 << "CommPort=20" << false;
    QTest::newRow("1, Tab: no completion to 1200") << "cbospeed"
                                                   << "1"
                                                   << "Tab" << 11 << "Settings=1,N,8,1" << false;
    QTest::newRow("4321, Enter: no 12th entry") << "cbospeed"
                                                << "4321"
                                                << "Return" << 11 << "Settings=4321,N,8,1" << false;
    QTest::newRow("E, Tab: no completion to E,7,1") << "cboset"
                                                    << "E"
                                                    << "Tab" << 10 << "Settings=9600,E" << false;
}

void TestForm1Editing::dropDownsTakeWhatIsTyped()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, finish);
    QFETCH(int, entries);
    QFETCH(QString, openCall);
    QFETCH(bool, refused);
    auto *combo = control<QComboBox>(box);
    combo->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(focused(), static_cast<QWidget *>(combo));
    xKeys({"key", "--delay", "15", "ctrl+a", "BackSpace"});
    xKeys({"type", "--delay", "15", typed});
    xKeys({"key", finish});
    QTRY_VERIFY(!combo->lineEdit()->text().isEmpty());
    QTest::qWait(50);
    QCOMPARE(combo->currentText(), typed);
    QCOMPARE(combo->count(), entries);

    m_comm->calls.clear();
    button("cmdopen")->click();
    QCOMPARE(combo->currentText(), typed);
    QCOMPARE(!m_warnings.isEmpty(), refused);
    if (!openCall.isEmpty())
        QVERIFY2(m_comm->calls.contains(openCall), qPrintable(m_comm->calls.join(" | ")));
    QCOMPARE(m_comm->portOpen(), !refused);
}

QTEST_MAIN(TestForm1Editing)
#include "tst_form1editing.moc"
