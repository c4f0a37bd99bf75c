#include "app/fieldeditor.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace
{

bool isFocusMoveReason(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// The focus left `field` for another control of the same window.
bool focusMovedAway(const QLineEdit *field, const QFocusEvent &event)
{
    if (!isFocusMoveReason(event.reason()))
        return false;
    const QWidget *now = QApplication::focusWidget();
    return now && now != field && now->window() == field->window();
}

} // namespace

FieldEditor::FieldEditor(QLineEdit *field, Handlers handlers)
    : QObject(field), m_field(field), m_handlers(std::move(handlers))
{
    field->installEventFilter(this);
}

int FieldEditor::characterCode(const QKeyEvent &key)
{
    const Qt::KeyboardModifiers mods =
        key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool control = mods == Qt::ControlModifier;
    switch (key.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return kNoCharacter;
    case Qt::Key_Backspace:
        return control ? 127 : 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return control ? 10 : 13;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    if (control) {
        // Ctrl with @, A to Z, [, \, ], ^ or _ gives the control code 0 to 31; 0 is no key.
        const int k = key.key();
        if (k > Qt::Key_At && k <= Qt::Key_Underscore)
            return k - Qt::Key_At;
        return kNoCharacter;
    }
    if (mods != Qt::NoModifier && mods != (Qt::ControlModifier | Qt::AltModifier))
        return kNoCharacter; // Alt or Meta: a command, not a character (Ctrl+Alt is AltGr)
    const QString text = key.text();
    if (text.isEmpty())
        return kNoCharacter;
    return text.at(0).unicode();
}

bool FieldEditor::filterKey(const QKeyEvent &key)
{
    const int code = characterCode(key);
    const QString text = key.text();
    if (code == kNoCharacter) {
        // A key that produces no character inserts nothing either (Alt+5 is not a 5).
        return !text.isEmpty() && text.at(0).isPrint();
    }
    // What the key types: its text, each character handed to the filter in turn, or the one
    // code it stands for (Backspace, Enter, Ctrl combinations).
    const bool fromText = !text.isEmpty() && text.at(0).unicode() == code;
    const QString typed = fromText ? text : QString(QChar(static_cast<char16_t>(code)));
    QString kept;
    for (const QChar c : typed) {
        auto keyAscii = static_cast<qint16>(c.unicode());
        m_handlers.keyPress(keyAscii);
        if (keyAscii != 0)
            kept += QChar(static_cast<char16_t>(keyAscii));
    }
    if (kept == typed)
        return false; // nothing discarded: the field handles the key as usual
    QString insertion;
    for (const QChar c : kept) {
        if (c.isPrint())
            insertion += c;
    }
    if (!insertion.isEmpty())
        m_field->insert(insertion);
    return true;
}

bool FieldEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        return m_handlers.keyPress && filterKey(*static_cast<QKeyEvent *>(event));
    case QEvent::InputMethod:
        return true;
    case QEvent::FocusIn:
        if (m_handlers.gotFocus && isFocusMoveReason(static_cast<QFocusEvent *>(event)->reason())) {
            // The field takes the focus first (a Tab selects its text there); the handler's
            // selection then stands.
            m_field->event(event);
            m_handlers.gotFocus();
            return true;
        }
        return false;
    case QEvent::FocusOut:
        if (m_handlers.lostFocus && focusMovedAway(m_field, *static_cast<QFocusEvent *>(event))) {
            m_field->event(event);
            m_handlers.lostFocus();
            return true;
        }
        return false;
    default:
        return false;
    }
}
