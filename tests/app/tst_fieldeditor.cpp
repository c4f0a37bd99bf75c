#include "app/fieldeditor.h"
#include "frame/fieldrules.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

class TestFieldEditor : public QObject
{
    Q_OBJECT

private slots:
    void characterCode_data();
    void characterCode();
    void keyReachesField_data();
    void keyReachesField();
    void handlerMayReplaceTheCharacter();
    void inputMethodTextIsDiscarded();
    void focusGainReportedOnlyForMovesBetweenControls_data();
    void focusGainReportedOnlyForMovesBetweenControls();
};

void TestFieldEditor::characterCode_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const int no = FieldEditor::kNoCharacter;
    // Texts as the X server delivers them, and as a synthetic event may leave them.
    QTest::newRow("digit") << int(Qt::Key_1) << none << "1" << int('1');
    QTest::newRow("keypad digit") << int(Qt::Key_7) << Qt::KeyboardModifiers(Qt::KeypadModifier)
                                  << "7" << int('7');
    QTest::newRow("lower-case letter") << int(Qt::Key_A) << none << "a" << int('a');
    QTest::newRow("upper-case letter")
        << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "A" << int('A');
    QTest::newRow("space") << int(Qt::Key_Space) << none << " " << 32;
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << none << "\b" << 8;
    QTest::newRow("backspace without text") << int(Qt::Key_Backspace) << none << "" << 8;
    QTest::newRow("ctrl+backspace") << int(Qt::Key_Backspace) << ctrl << "" << 127;
    QTest::newRow("enter") << int(Qt::Key_Return) << none << "\r" << 13;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier)
                                  << "\r" << 13;
    QTest::newRow("ctrl+enter") << int(Qt::Key_Return) << ctrl << "" << 10;
    QTest::newRow("escape") << int(Qt::Key_Escape) << none << "\x1b" << 27;
    QTest::newRow("ctrl+c") << int(Qt::Key_C) << ctrl << "\x03" << 3;
    QTest::newRow("ctrl+c, letter text") << int(Qt::Key_C) << ctrl << "c" << 3;
    QTest::newRow("ctrl+v") << int(Qt::Key_V) << ctrl << "\x16" << 22;
    QTest::newRow("ctrl+x") << int(Qt::Key_X) << ctrl << "x" << 24;
    QTest::newRow("ctrl+z") << int(Qt::Key_Z) << ctrl << "\x1a" << 26;
    QTest::newRow("ctrl+shift+z") << int(Qt::Key_Z)
                                  << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)
                                  << "\x1a" << 26;
    QTest::newRow("ctrl+a") << int(Qt::Key_A) << ctrl << "\x01" << 1;
    QTest::newRow("ctrl+[") << int(Qt::Key_BracketLeft) << ctrl << "\x1b" << 27;
    QTest::newRow("ctrl+digit") << int(Qt::Key_1) << ctrl << "1" << no;
    QTest::newRow("tab") << int(Qt::Key_Tab) << none << "\t" << no;
    QTest::newRow("backtab") << int(Qt::Key_Backtab) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                             << "" << no;
    QTest::newRow("delete") << int(Qt::Key_Delete) << none << "\x7f" << no;
    QTest::newRow("left") << int(Qt::Key_Left) << none << "" << no;
    QTest::newRow("home") << int(Qt::Key_Home) << none << "" << no;
    QTest::newRow("end") << int(Qt::Key_End) << none << "" << no;
    QTest::newRow("ctrl+left") << int(Qt::Key_Left) << ctrl << "" << no;
    QTest::newRow("shift+insert") << int(Qt::Key_Insert) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                  << "" << no;
    QTest::newRow("alt+digit") << int(Qt::Key_5) << Qt::KeyboardModifiers(Qt::AltModifier) << "5"
                               << no;
    QTest::newRow("altgr as ctrl+alt")
        << int(Qt::Key_E) << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)
        << QStringLiteral("€") << 0x20AC;
    QTest::newRow("accented letter") << int(Qt::Key_Eacute) << none << QStringLiteral("é") << 0xE9;
    QTest::newRow("F2") << int(Qt::Key_F2) << none << "" << no;
}

void TestFieldEditor::characterCode()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(int, expected);
    const QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QCOMPARE(FieldEditor::characterCode(event), expected);
}

namespace
{

// A field with the hexadecimal filter, holding "01" with the caret at its end.
struct HexField {
    QLineEdit field;
    QList<int> codes; // every code the filter was asked about
    HexField()
    {
        new FieldEditor(&field, {[this](qint16 &k) {
                                     codes << k;
                                     k = frame::hexKeyFilter(k);
                                 },
                                 {},
                                 {}});
        field.setText(QStringLiteral("0"));
        field.insert(QStringLiteral("1")); // an edit that an undo would take back
    }
};

} // namespace

void TestFieldEditor::keyReachesField_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("digit inserted") << int(Qt::Key_5) << none << "5"
                                    << "015";
    QTest::newRow("hex letter inserted as typed") << int(Qt::Key_B) << none << "b"
                                                  << "01b";
    QTest::newRow("other letter dropped") << int(Qt::Key_G) << none << "g"
                                          << "01";
    QTest::newRow("space dropped") << int(Qt::Key_Space) << none << " "
                                   << "01";
    QTest::newRow("backspace deletes") << int(Qt::Key_Backspace) << none << "\b"
                                       << "0";
    QTest::newRow("left arrow moves, no text") << int(Qt::Key_Left) << none << ""
                                               << "01";
    QTest::newRow("alt+digit inserts nothing")
        << int(Qt::Key_5) << Qt::KeyboardModifiers(Qt::AltModifier) << "5"
        << "01";
    QTest::newRow("text of several characters, filtered one by one")
        << int(Qt::Key_unknown) << none << "1x2"
        << "0112";
    QTest::newRow("undo dropped") << int(Qt::Key_Z) << Qt::KeyboardModifiers(Qt::ControlModifier)
                                  << "\x1a"
                                  << "01";
}

void TestFieldEditor::keyReachesField()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    HexField f;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&f.field, &press);
    QCOMPARE(f.field.text(), expected);
}

void TestFieldEditor::handlerMayReplaceTheCharacter()
{
    QLineEdit field;
    new FieldEditor(&field, {[](qint16 &k) {
                                 if (k == 'x')
                                     k = 'X';
                             },
                             {},
                             {}});
    QTest::keyClicks(&field, QStringLiteral("axb"));
    QCOMPARE(field.text(), QStringLiteral("aXb"));
}

void TestFieldEditor::inputMethodTextIsDiscarded()
{
    HexField f;
    QInputMethodEvent preedit(QStringLiteral("1"), {});
    QApplication::sendEvent(&f.field, &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("1"));
    QApplication::sendEvent(&f.field, &commit);
    QCOMPARE(f.field.text(), QStringLiteral("01"));
    QVERIFY(f.codes.isEmpty());
}

void TestFieldEditor::focusGainReportedOnlyForMovesBetweenControls_data()
{
    QTest::addColumn<Qt::FocusReason>("reason");
    QTest::addColumn<bool>("reported");

    QTest::newRow("tab") << Qt::TabFocusReason << true;
    QTest::newRow("backtab") << Qt::BacktabFocusReason << true;
    QTest::newRow("mouse") << Qt::MouseFocusReason << true;
    QTest::newRow("program") << Qt::OtherFocusReason << true;
    QTest::newRow("window activated") << Qt::ActiveWindowFocusReason << false;
    QTest::newRow("popup closed") << Qt::PopupFocusReason << false;
}

void TestFieldEditor::focusGainReportedOnlyForMovesBetweenControls()
{
    QFETCH(Qt::FocusReason, reason);
    QFETCH(bool, reported);
    QLineEdit field;
    int gained = 0;
    new FieldEditor(&field, {[](qint16 &) {}, [&gained] { ++gained; }, {}});
    QFocusEvent in(QEvent::FocusIn, reason);
    QApplication::sendEvent(&field, &in);
    QCOMPARE(gained, reported ? 1 : 0);
}

QTEST_MAIN(TestFieldEditor)
#include "tst_fieldeditor.moc"
