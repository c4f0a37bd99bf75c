#pragma once

#include <QPlainTextEdit>

// The receive log: a read-only multi-line box whose text, as the program counts it, ends each
// line with CR LF (two characters). That text is kept here and is the authority for lengths;
// the box shows the same lines.
class LogTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogTextBox(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    qsizetype textLength() const { return m_text.size(); }
    void setText(const QString &text);
    // Appends at the end without rewriting what is shown already.
    void appendText(const QString &text);
    // Caret after the last character, the end of the log in view.
    void moveCaretToEnd();

private:
    static QString shownText(const QString &text);

    QString m_text;
    bool m_pendingCr = false; // the shown text ends in a CR whose LF may follow in the next append
};
