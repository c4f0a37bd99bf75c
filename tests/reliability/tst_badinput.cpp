// Garbage pasted and typed into every editable field of the shown window: control characters,
// ten thousand characters, characters outside the Basic Multilingual Plane, right-to-left
// marks. Each field must end in its normal form, the CRC must match the frame, and the frame
// must be what a send writes.
#include "app/form1.h"
#include "frame/hextext.h"
#include "support/fakeserialcomm.h"
#include "support/referencecrc.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

namespace
{

const QStringList kRequestFields = {"txtadr", "txtfun", "txtres", "txtnum"};

// A piece of two characters read as hex: 0-9, A-F count by position, anything else adds 0.
quint8 pieceValue(const QString &piece)
{
    int value = 0;
    for (const QChar c : piece) {
        value *= 16;
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            value += u - u'0';
        else if (u >= u'A' && u <= u'F')
            value += u - u'A' + 10;
    }
    return quint8(value);
}

bool hasLoneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate()) {
            if (i + 1 >= text.size() || !text[i + 1].isLowSurrogate())
                return true;
            ++i;
        } else if (text[i].isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

QString hexDigitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text)
        if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))
            digits += c;
    return digits;
}

QString decimalDigitsOf(const QString &text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

// Types text as key presses, one per character (a pair of surrogates is one character). Printable
// ASCII comes as its key; a control code 1 to 26 as Ctrl and a letter, as a keyboard gives it;
// anything else as a key press that carries the character, as an input device with its own
// keyboard map gives it.
void typeText(QWidget *widget, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString character(text[i]);
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            character += text[++i];
        const char16_t u = character.at(0).unicode();
        if (character.size() == 1 && u >= 0x20 && u < 0x7F) {
            QTest::keyClick(widget, char(u));
        } else if (character.size() == 1 && u >= 1 && u <= 26) {
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(Qt::Key_A + (u - 1)), character,
                                Qt::ControlModifier);
        } else {
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, character, Qt::NoModifier);
        }
    }
}

QString tenThousand()
{
    QString text;
    const QString pattern = QStringLiteral("9aZ\u00e9\u0001 ");
    while (text.size() < 10000)
        text += pattern;
    return text.left(10000);
}

struct Garbage {
    const char *name;
    QString text;
};

const QList<Garbage> &garbage()
{
    static const QList<Garbage> list = {
        {"control characters", QStringLiteral("\u0001\u00022\t3\n\r\u001b\u007f\u0085\u0000")},
        {"ten thousand characters", tenThousand()},
        // An emoji, mathematical digits one and two, a CJK ideograph of plane 2.
        {"outside the BMP", QStringLiteral("\U0001F600\U0001D7D9\U0001D7DA1\U00020000")},
        {"right-to-left marks", QStringLiteral("\u200F12\u202E34\u200E\u202Cab\u061C")},
        {"mixed with letters beyond f", QStringLiteral("zZ-+ 0x1G\u00df\u0130")},
    };
    return list;
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cleanupTestCase() { qInfo("%d entries of garbage checked", m_checks); }

    void garbageInEveryField_data();
    void garbageInEveryField();
    void surrogatePairSplitByMaxLength_data();
    void surrogatePairSplitByMaxLength();
    void surrogatePairSplitByTheWidth_data();
    void surrogatePairSplitByTheWidth();
    void typedThroughTheXServer();

private:
    QLineEdit *field(const QString &name) const
    {
        auto *w = m_window->findChild<QLineEdit *>(name);
        if (!w)
            qFatal("no field %s", qPrintable(name));
        return w;
    }
    void enter(QLineEdit *f);
    void leave(QLineEdit *f);
    // The window's fields, frame, CRC and a sent frame all agree with each other.
    void checkRequestConsistent();
    void checkDelayClamped();

    std::unique_ptr<Form1> m_window;
    FakeSerialComm *m_comm = nullptr;
    int m_checks = 0;
};

void TestBadInput::init()
{
    auto comm = std::make_unique<FakeSerialComm>();
    m_comm = comm.get();
    m_window = std::make_unique<Form1>(Form1Services{std::move(comm), [] {
                                                         return QList<serial::MappedPort>{};
                                                     }});
    m_window->setWarningPresenter([](const QString &text) { QFAIL(qPrintable(text)); });
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestBadInput::cleanup()
{
    m_window.reset();
}

void TestBadInput::enter(QLineEdit *f)
{
    f->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), f);
    QCOMPARE(f->selectedText(), f->text()); // entering selects all: the garbage replaces it
}

void TestBadInput::leave(QLineEdit *f)
{
    QTest::keyClick(f, Qt::Key_Tab);
    QTRY_VERIFY(QApplication::focusWidget() != f);
}

void TestBadInput::checkRequestConsistent()
{
    ++m_checks;
    QByteArray body;
    for (const QString &name : kRequestFields) {
        const QString text = field(name)->text();
        const int width =
            name == QLatin1String("txtres") || name == QLatin1String("txtnum") ? 4 : 2;
        QCOMPARE(text.size(), width);
        QVERIFY2(!hasLoneSurrogate(text), qPrintable(name));
        for (const QChar c : text)
            QVERIFY2(c.toUpper() == c, qPrintable(name + QStringLiteral(": ") + text));
        for (int at = 0; at < width; at += 2)
            body.append(char(pieceValue(text.mid(at, 2))));
    }
    const quint16 crc = referenceCrc16(body);
    const QByteArray frame = body + char(crc & 0xFF) + char(crc >> 8);
    const frame::RequestFrame &shown = m_window->txFrame();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(shown.data()), 8), frame);
    QCOMPARE(field(QStringLiteral("txtcrc"))->text(),
             QString::fromLatin1(frame.mid(6).toHex().toUpper()));

    // What a send writes.
    m_comm->open = true;
    m_window->findChild<QPushButton *>(QStringLiteral("cmdtr"))->setEnabled(true);
    const QString delay = field(QStringLiteral("txtdelay"))->text();
    field(QStringLiteral("txtdelay"))->setText(QStringLiteral("0"));
    m_window->cmdtr_Click();
    field(QStringLiteral("txtdelay"))->setText(delay);
    QVERIFY(!m_comm->written.isEmpty());
    QCOMPARE(m_comm->written.constLast(), frame);
}

void TestBadInput::checkDelayClamped()
{
    ++m_checks;
    const QString text = field(QStringLiteral("txtdelay"))->text();
    bool ok = false;
    const int value = text.toInt(&ok);
    QVERIFY2(ok && value >= 10 && value <= 10000, qPrintable(text));
    QCOMPARE(decimalDigitsOf(text), text);
}

void TestBadInput::garbageInEveryField_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    for (const QString &name : kRequestFields + QStringList{QStringLiteral("txtdelay")})
        for (const Garbage &g : garbage())
            QTest::addRow("%s, %s", qPrintable(name), g.name) << name << g.text;
}

void TestBadInput::garbageInEveryField()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QLineEdit *f = field(name);
    const bool isDelay = name == QLatin1String("txtdelay");
    const auto check = [&] {
        if (isDelay)
            checkDelayClamped();
        else
            checkRequestConsistent();
    };

    // Inserted as a program or an input method would, past the key filter.
    enter(f);
    f->insert(text);
    QVERIFY(f->text().size() <= f->maxLength());
    leave(f);
    check();

    // Pasted from the clipboard, by the field's paste and by its context menu.
    QGuiApplication::clipboard()->setText(text);
    enter(f);
    f->paste();
    QVERIFY(f->text().size() <= f->maxLength());
    leave(f);
    check();

    enter(f);
    std::unique_ptr<QMenu> menu(f->createStandardContextMenu());
    QAction *paste = nullptr;
    for (QAction *action : menu->actions())
        if (action->text().startsWith(QLatin1String("&Paste")))
            paste = action;
    QVERIFY(paste && paste->isEnabled());
    paste->trigger();
    QVERIFY(f->text().size() <= f->maxLength());
    leave(f);
    check();

    // Typed: the key filter lets digits (and for a request field a to f) through, the field's
    // maximum length stops the rest.
    enter(f);
    typeText(f, text);
    const QString kept = isDelay ? decimalDigitsOf(text) : hexDigitsOf(text);
    QCOMPARE(f->text(), kept.left(f->maxLength()));
    leave(f);
    check();
    if (!isDelay && !kept.isEmpty()) {
        const QString typed = kept.left(f->maxLength()).toUpper();
        QCOMPARE(f->text(), QString(f->maxLength() - typed.size(), QLatin1Char('0')) + typed);
    }
}

void TestBadInput::surrogatePairSplitByMaxLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("normal");
    // The maximum length keeps the first half of a pair that does not fit; the half becomes
    // the replacement character, which is no digit. The frame is the same as without it.
    QTest::newRow("txtadr 1 + emoji")
        << "txtadr" << QStringLiteral("1\U0001F600") << QStringLiteral("1\uFFFD");
    QTest::newRow("txtnum 123 + emoji")
        << "txtnum" << QStringLiteral("123\U0001F600") << QStringLiteral("123\uFFFD");
    // A whole pair fits and stays whole.
    QTest::newRow("txtadr emoji alone")
        << "txtadr" << QStringLiteral("\U0001F600") << QStringLiteral("\U0001F600");
    QTest::newRow("txtres 0 + emoji + 7")
        << "txtres" << QStringLiteral("0\U0001F6007") << QStringLiteral("0\U0001F6007");
    QTest::newRow("txtres emoji + 12345")
        << "txtres" << QStringLiteral("\U0001F60012345") << QStringLiteral("\U0001F60012");
}

// A pair split by the field's maximum length: the field never keeps half of it.
void TestBadInput::surrogatePairSplitByMaxLength()
{
    QFETCH(QString, name);
    QFETCH(QString, pasted);
    QFETCH(QString, normal);
    QLineEdit *f = field(name);
    QGuiApplication::clipboard()->setText(pasted);
    enter(f);
    f->paste();
    leave(f);
    QCOMPARE(f->text(), normal);
    checkRequestConsistent();
}

void TestBadInput::surrogatePairSplitByTheWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("normal");
    QTest::newRow("low half kept, width 2")
        << QStringLiteral("\U0001F6001") << 2 << QStringLiteral("\uFFFD1");
    QTest::newRow("low half kept, width 4")
        << QStringLiteral("\U0001F600abc") << 4 << QStringLiteral("\uFFFDABC");
    QTest::newRow("high half at the end")
        << QStringLiteral("7") + QChar(0xD83D) << 2 << QStringLiteral("7\uFFFD");
    QTest::newRow("a whole pair") << QStringLiteral("1\U0001F600") << 4
                                  << QStringLiteral("01\U0001F600");
    QTest::newRow("two pairs, the first cut")
        << QStringLiteral("\U0001F600\U0001F600") << 3 << QStringLiteral("\uFFFD\U0001F600");
}

// The width cut of a text longer than the field (a program's text, not the operator's: the
// fields' maximum lengths stop that) leaves no half pair either.
void TestBadInput::surrogatePairSplitByTheWidth()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, normal);
    const QString result = frame::Length_str(text, qint16(width));
    QCOMPARE(result, normal);
    QCOMPARE(result.size(), width);
}

// The same garbage typed on the X server's keyboard: each character reaches the window as a
// real key press with the text the keyboard map gives it.
void TestBadInput::typedThroughTheXServer()
{
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xdotool.isEmpty())
        QSKIP("xdotool is not installed");
    const QStringList typed = {QStringLiteral("zq 9\u00e9B\U0001F600\u200F4\u202Ec"),
                               QStringLiteral("\U0001D7D97\u061C!@#5")};
    for (const QString &name : kRequestFields + QStringList{QStringLiteral("txtdelay")}) {
        for (const QString &text : typed) {
            QLineEdit *f = field(name);
            enter(f);
            QCOMPARE(QProcess::execute(xdotool, {"type", "--delay", "5", text}), 0);
            const bool isDelay = name == QLatin1String("txtdelay");
            const QString kept = (isDelay ? decimalDigitsOf(text) : hexDigitsOf(text));
            QTRY_COMPARE(f->text(), kept.left(f->maxLength()));
            leave(f);
            if (isDelay)
                checkDelayClamped();
            else
                checkRequestConsistent();
        }
    }
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
