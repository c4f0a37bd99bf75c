#include "app/fieldeditor.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

FieldEditor::FieldEditor(QLineEdit *field, Handlers handlers)
    : QObject(field), m_handlers(std::move(handlers))
{
    field->installEventFilter(this);
}

namespace
{

bool movesFocusBetweenControls(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// The character code a key press delivers to a key filter, or -1 when the key produces none.
int characterCode(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return -1;
    default:
        break;
    }
    const QString text = key->text();
    if (text.isEmpty())
        return -1;
    return text.at(0).unicode();
}

} // namespace

bool FieldEditor::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int code = characterCode(static_cast<QKeyEvent *>(event));
        if (code < 0 || !m_handlers.keyPress)
            return false;
        auto keyAscii = static_cast<qint16>(code);
        m_handlers.keyPress(keyAscii);
        return keyAscii == 0; // discarded: the field never sees the key
    }
    case QEvent::InputMethod:
        return true;
    case QEvent::FocusIn:
        if (m_handlers.gotFocus &&
            movesFocusBetweenControls(static_cast<QFocusEvent *>(event)->reason())) {
            // Let the field take the focus first, then select on top of its own handling.
            static_cast<QLineEdit *>(watched)->event(event);
            m_handlers.gotFocus();
            return true;
        }
        return false;
    case QEvent::FocusOut:
        if (m_handlers.lostFocus &&
            movesFocusBetweenControls(static_cast<QFocusEvent *>(event)->reason())) {
            static_cast<QLineEdit *>(watched)->event(event);
            m_handlers.lostFocus();
            return true;
        }
        return false;
    default:
        return false;
    }
}
