#include "app/logtextbox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QTextBlock>

class TestLogTextBox : public QObject
{
    Q_OBJECT

private slots:
    void lineEndsCountTwoCharacters();
    void appendSplitBetweenCarriageReturnAndLineFeed();
    void setTextReplacesEverything();
    void caretToEnd();
    void lineToolTips();
    void longLineComesOnScreenInSlices();
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

void TestLogTextBox::lineToolTips()
{
    LogTextBox box;
    box.resize(300, 200);
    box.show();
    box.appendText(QStringLiteral("AA\r\n"));
    box.appendLine(QStringLiteral("01 03\r\n"), QStringLiteral("short"));
    box.appendLine(QStringLiteral("\r\n"), QStringLiteral("no reply"));
    QCOMPARE((QStringList{box.lineToolTip(0), box.lineToolTip(1), box.lineToolTip(2),
                          box.lineToolTip(3)}),
             (QStringList{"", "short", "no reply", ""}));
    const QRect second =
        box.cursorRect(QTextCursor(box.document()->findBlockByNumber(1))).adjusted(0, 0, 5, 0);
    QCOMPARE(box.lineAt(second.center()), 1);
    QCOMPARE(box.lineAt(QPoint(5, box.viewport()->height() - 2)), -1);
    // Cleared lines keep no tool tips.
    box.setText(QStringLiteral("BB\r\nCC\r\n"));
    QCOMPARE(box.lineToolTip(1), QString());
}

void TestLogTextBox::longLineComesOnScreenInSlices()
{
    LogTextBox box;
    const QString line = QStringLiteral("5A ").repeated(39999) + QStringLiteral("5A\r\n");
    box.appendText(QStringLiteral("AA\r\n"));
    box.appendText(line);
    box.appendText(QStringLiteral("BB\r\n"));
    // The text is whole at once; the screen catches up between turns of the event loop.
    QCOMPARE(box.text(), QStringLiteral("AA\r\n") + line + QStringLiteral("BB\r\n"));
    QVERIFY(box.isShowing());
    QTRY_VERIFY(!box.isShowing());
    QCOMPARE(box.blockCount(), 1 + 40 + 1 + 1); // AA, 40 blocks of 1024 bytes or less, BB, the end
    // No block splits a byte, and a copy has only the log's own line breaks.
    for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next())
        QVERIFY(block.text().size() % 3 != 1);
    box.selectAll();
    box.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString(box.text()).remove(QLatin1Char('\r')));
}

QTEST_MAIN(TestLogTextBox)
#include "tst_logtextbox.moc"
