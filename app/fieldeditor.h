#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;
class QLineEdit;

// Gives a line edit the three events of an editable field: a key press with its character
// code (the handler sets the code to 0 to discard the key), focus gained and focus lost.
// - Keys that produce no character (arrows, Home, End, Delete, Tab) pass untouched.
// - Text committed by an input method is discarded.
// - Focus gained and lost are reported only when the focus moves from one control of the
//   window to another (Tab, a click), not when the window is activated or deactivated or a
//   popup menu opens and closes.
class FieldEditor : public QObject
{
    Q_OBJECT

public:
    struct Handlers {
        std::function<void(qint16 &keyAscii)> keyPress;
        std::function<void()> gotFocus;
        std::function<void()> lostFocus;
    };

    static constexpr int kNoCharacter = -1;

    FieldEditor(QLineEdit *field, Handlers handlers);

    // The character code a key press hands to a key filter, or kNoCharacter for a key that
    // produces none. Backspace is 8, Enter 13, Escape 27, Ctrl with a letter its control code
    // (Ctrl+C 3, Ctrl+V 22, Ctrl+X 24, Ctrl+Z 26, Ctrl+A 1), Ctrl+Backspace 127, Ctrl+Enter 10;
    // any other key the first UTF-16 unit of its text. Alt or Meta combinations produce none.
    static int characterCode(const QKeyEvent &key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // true when the key press is consumed here and must not reach the field.
    bool filterKey(const QKeyEvent &key);

    QLineEdit *m_field;
    Handlers m_handlers;
};
