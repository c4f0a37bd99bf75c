#include "app/logtextbox.h"

#include <QFont>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

namespace
{

// The user state of a block that carries on the line of the block before it.
constexpr int kContinuation = 1;

} // namespace

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
    m_slicer.setSingleShot(true);
    m_slicer.setInterval(0);
    connect(&m_slicer, &QTimer::timeout, this, &LogTextBox::showSlice);
}

QString LogTextBox::shownText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

bool LogTextBox::hasLongLine(const QString &text)
{
    if (text.size() <= kLongLine)
        return false;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        if (end - start > kLongLine)
            return true;
        start = end + 1;
    }
    return false;
}

void LogTextBox::setText(const QString &text)
{
    m_text = text;
    m_pendingCr = text.endsWith(QLatin1Char('\r'));
    m_unshown.clear();
    m_slicer.stop();
    m_followEnd = false;
    const QString shown = shownText(text);
    if (!hasLongLine(shown)) {
        setPlainText(shown);
        return;
    }
    setPlainText(QString());
    queue(shown);
    showSlice();
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
    const QString shown = shownText(piece);
    if (m_unshown.empty() && !hasLongLine(shown)) {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(shown);
        return;
    }
    const bool idle = m_unshown.empty();
    queue(shown);
    if (idle)
        showSlice();
}

// A long line is cut after the last space within each block's length, so that no byte is
// split between two blocks; a line without spaces is cut at the length.
void LogTextBox::queue(const QString &text)
{
    const auto add = [this](QString piece, bool continues) {
        if (!continues && !m_unshown.empty() && !m_unshown.back().continues &&
            m_unshown.back().text.size() < kBlockCharacters)
            m_unshown.back().text += piece;
        else
            m_unshown.push_back({std::move(piece), continues});
    };
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const bool lineEnds = end >= 0;
        if (!lineEnds)
            end = text.size();
        if (end - start <= kLongLine) {
            add(text.mid(start, end - start + (lineEnds ? 1 : 0)), false);
        } else {
            bool continues = false;
            for (qsizetype at = start; at < end;) {
                qsizetype cut = std::min(end, at + kBlockCharacters);
                if (cut < end) {
                    const qsizetype space = text.lastIndexOf(QLatin1Char(' '), cut - 1);
                    if (space >= at)
                        cut = space + 1;
                }
                add(text.mid(at, cut - at), continues);
                continues = true;
                at = cut;
            }
            if (lineEnds)
                add(QStringLiteral("\n"), false);
        }
        start = end + 1;
    }
}

void LogTextBox::showSlice()
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    qsizetype shown = 0;
    while (!m_unshown.empty() && shown < kSliceCharacters) {
        const Segment segment = std::move(m_unshown.front());
        m_unshown.pop_front();
        if (segment.continues) {
            cursor.insertBlock();
            QTextBlock block = cursor.block();
            block.setUserState(kContinuation);
        }
        cursor.insertText(segment.text);
        shown += segment.text.size();
    }
    cursor.endEditBlock();
    if (!m_unshown.empty()) {
        m_slicer.start();
        return;
    }
    if (m_followEnd && textCursor().atEnd())
        ensureCursorVisible();
    m_followEnd = false;
}

void LogTextBox::moveCaretToEnd()
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
    m_followEnd = !m_unshown.empty();
}

// A block that carries on a long line joins the one before it without a line break.
QMimeData *LogTextBox::createMimeDataFromSelection() const
{
    const QTextCursor selection = textCursor();
    if (!selection.hasSelection())
        return QPlainTextEdit::createMimeDataFromSelection();
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    QString text;
    for (QTextBlock block = document()->findBlock(start);
         block.isValid() && block.position() <= end; block = block.next()) {
        if (block.position() > start && block.userState() != kContinuation)
            text += QLatin1Char('\n');
        const int from = std::max(start, block.position()) - block.position();
        const int to = std::min(end, block.position() + block.length() - 1) - block.position();
        if (to > from)
            text += block.text().mid(from, to - from);
    }
    auto *mime = new QMimeData;
    mime->setText(text);
    return mime;
}
