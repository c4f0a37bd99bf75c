#include "app/logtextbox.h"

#include <QFont>
#include <QScrollBar>
#include <QTextCursor>

LogTextBox::LogTextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Read-only, but the caret stays visible and the text can be selected and copied.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The log holds hex digits, spaces and line ends, text that needs no shaping; without it a
    // long reply is laid out in less than half the time. Family and size still come from the
    // window, since only the style strategy is set here.
    QFont noShaping;
    noShaping.setStyleStrategy(QFont::PreferNoShaping);
    setFont(noShaping);
}

QString LogTextBox::shownText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void LogTextBox::setText(const QString &text)
{
    m_text = text;
    m_pendingCr = text.endsWith(QLatin1Char('\r'));
    setPlainText(shownText(text));
}

void LogTextBox::appendText(const QString &text)
{
    if (text.isEmpty())
        return;
    QString piece = text;
    // A CR shown at the end of the previous append already stands for this LF.
    if (m_pendingCr && piece.startsWith(QLatin1Char('\n')))
        piece.remove(0, 1);
    m_text += text;
    m_pendingCr = text.endsWith(QLatin1Char('\r'));
    if (piece.isEmpty())
        return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shownText(piece));
}

void LogTextBox::moveCaretToEnd()
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}
