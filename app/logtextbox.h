#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <deque>

// The receive log: a read-only multi-line box whose text, as the program counts it, ends each
// line with CR LF (two characters). That text is kept here and is the authority for lengths;
// the box shows the same lines.
//
// A line longer than kLongLine characters (a reply of more than 32,767 bytes) is shown as
// blocks of kBlockCharacters, each ending after a byte's separating space, and is laid out
// and put on screen a slice at a time between turns of the event loop, so that the window
// keeps answering while a reply of a megabyte appears. The text is the same either way: it
// changes at once and in whole lines, and a copy of a selection across such blocks has no line
// breaks that the log has not.
class LogTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    static constexpr qsizetype kLongLine = 3 * 32767;
    static constexpr qsizetype kBlockCharacters = 3 * 1024;
    // How much text is put on screen in one turn of the event loop.
    static constexpr qsizetype kSliceCharacters = 32 * kBlockCharacters;

    explicit LogTextBox(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    qsizetype textLength() const { return m_text.size(); }
    void setText(const QString &text);
    // Appends at the end without rewriting what is shown already.
    void appendText(const QString &text);
    // Caret after the last character, the end of the log in view; it stays there while the
    // rest of a long line comes on screen.
    void moveCaretToEnd();
    // Whether part of the text still waits to come on screen.
    bool isShowing() const { return !m_unshown.empty(); }

protected:
    QMimeData *createMimeDataFromSelection() const override;

private:
    // A piece of shown text; `continues` starts it in a block of its own that carries on the
    // line of the block before.
    struct Segment {
        QString text;
        bool continues = false;
    };

    static QString shownText(const QString &text);
    // Whether text (with LF line ends) has a line longer than kLongLine.
    static bool hasLongLine(const QString &text);
    // Queues text (with LF line ends) to come on screen after what is shown or queued, long
    // lines cut into blocks.
    void queue(const QString &text);
    // Puts up to kSliceCharacters of the queue on screen.
    void showSlice();

    QString m_text;
    bool m_pendingCr = false; // the shown text ends in a CR whose LF may follow in the next append
    std::deque<Segment> m_unshown; // shown text still to come on screen
    bool m_followEnd = false;      // keep the end of the log in view until the text is all shown
    QTimer m_slicer;
};
