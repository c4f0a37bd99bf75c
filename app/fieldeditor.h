#pragma once

#include <QObject>
#include <functional>

class QLineEdit;

// Gives a line edit the three events of an editable field: a key press with its character
// code (the handler sets the code to 0 to discard the key), focus gained and focus lost.
// Keys that produce no character (arrows, Home, End, Delete, Tab) pass untouched; text
// from an input method is discarded. Focus changes caused only by the window being
// (de)activated or by a popup are not reported: the focus did not move to another control.
class FieldEditor : public QObject
{
    Q_OBJECT

public:
    struct Handlers {
        std::function<void(qint16 &keyAscii)> keyPress;
        std::function<void()> gotFocus;
        std::function<void()> lostFocus;
    };

    FieldEditor(QLineEdit *field, Handlers handlers);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Handlers m_handlers;
};
