#include "app/logtextbox.h"

#include <QTest>

class TestLogTextBox : public QObject
{
    Q_OBJECT

private slots:
    void lineEndsCountTwoCharacters();
    void appendSplitBetweenCarriageReturnAndLineFeed();
    void setTextReplacesEverything();
    void caretToEnd();
};

void TestLogTextBox::lineEndsCountTwoCharacters()
{
    LogTextBox box;
    box.appendText(QStringLiteral("01 03 04\r\n"));
    box.appendText(QStringLiteral("\r\n"));
    QCOMPARE(box.text(), QStringLiteral("01 03 04\r\n\r\n"));
    QCOMPARE(box.textLength(), 12);
    QCOMPARE(box.toPlainText(), QStringLiteral("01 03 04\n\n"));
}

void TestLogTextBox::appendSplitBetweenCarriageReturnAndLineFeed()
{
    LogTextBox box;
    box.appendText(QStringLiteral("AA\r"));
    box.appendText(QStringLiteral("\nBB\r\n"));
    QCOMPARE(box.text(), QStringLiteral("AA\r\nBB\r\n"));
    QCOMPARE(box.toPlainText(), QStringLiteral("AA\nBB\n"));
}

void TestLogTextBox::setTextReplacesEverything()
{
    LogTextBox box;
    box.appendText(QStringLiteral("AA\r\n"));
    box.setText(QString());
    QCOMPARE(box.textLength(), 0);
    QCOMPARE(box.toPlainText(), QString());
    box.appendText(QStringLiteral("\n"));
    QCOMPARE(box.toPlainText(), QStringLiteral("\n"));
}

void TestLogTextBox::caretToEnd()
{
    LogTextBox box;
    box.setText(QStringLiteral("AA\r\nBB\r\n"));
    box.moveCaretToEnd();
    QCOMPARE(box.textCursor().position(), box.toPlainText().size());
}

QTEST_MAIN(TestLogTextBox)
#include "tst_logtextbox.moc"
