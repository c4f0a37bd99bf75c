#include "app/logtextbox.h"
#include "transaction/intervaltimer.h"
#include "window/windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGlyphRun>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>
#include <QWindow>
#include <cmath>

class TestForm1Window : public WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpState();
    void portClosedEnableState();
    void controls_data();
    void controls();
    void fieldSettings();
    void backgrounds();
    void fonts_data();
    void fonts();
    void captionGlyphs_data();
    void captionGlyphs();
    void captionsFit();
    void fieldsShowTheirLongestText();
    void fixedFrameAndTitle();
    void icon();
    void centredOnWholePrimaryScreen();
    void firstFocusOnPortBox();
    void closingTheWindowEndsTheProgram();

private:
    void showActive() { activateWindow(); }
};

void TestForm1Window::init()
{
    openWindow(nullptr, {}, false);
}

void TestForm1Window::cleanup()
{
    closeWindow();
}

void TestForm1Window::startUpState()
{
    QCOMPARE(control<QLineEdit>("txtadr")->text(), QStringLiteral("01"));
    QCOMPARE(control<QLineEdit>("txtfun")->text(), QStringLiteral("03"));
    QCOMPARE(control<QLineEdit>("txtres")->text(), QStringLiteral("0000"));
    QCOMPARE(control<QLineEdit>("txtnum")->text(), QStringLiteral("0002"));
    QCOMPARE(control<QLineEdit>("txtdelay")->text(), QStringLiteral("100"));
    QCOMPARE(control<QLineEdit>("txtcrc")->text(), QStringLiteral("C40B"));
    const frame::RequestFrame expected{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
    QCOMPARE(m_form->txFrame(), expected);
    for (const char *name : {"txtreg0", "txtreg1", "txtreg2"})
        QVERIFY2(control<QLineEdit>(name)->text().isEmpty(), name);
    QVERIFY(control<LogTextBox>("Text2")->toPlainText().isEmpty());
    QVERIFY(m_form->logText().isEmpty());
    QCOMPARE(control<QComboBox>("cbospeed")->currentText(), QStringLiteral("9600"));
    QCOMPARE(control<QComboBox>("cboset")->currentText(), QStringLiteral("N,8,1"));
    // No serial port reported: the port list falls back on the start port number, Com3.
    QCOMPARE(control<QComboBox>("cboComPort")->currentText(), QStringLiteral("Com3"));
    QCOMPARE(control<QComboBox>("cboComPort")->count(), 16);
    QCOMPARE(m_form->txBusy(), qint16(0));
    QVERIFY(m_form->rxBytes().isEmpty());
    QVERIFY(!m_comm->portOpen());
    QVERIFY(!m_comm->dtr);
}

void TestForm1Window::portClosedEnableState()
{
    const QStringList disabled = {"cmdclose", "cmdtr", "cont_on", "cont_off"};
    int controls = 0;
    for (QWidget *w : m_form->findChildren<QWidget *>()) {
        const QString name = w->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        ++controls;
        QVERIFY2(w->isEnabled() != disabled.contains(name), qPrintable(name));
    }
    QVERIFY(controls >= 34);
    QCOMPARE(m_form->timerInterval(), 0);
}

void TestForm1Window::controls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("accessibleName");
    QTest::addColumn<QString>("description");

    struct Row {
        const char *name, *kind, *container, *caption, *englishCaption;
        int left, top, width, height;
        const char *accessibleName, *englishName, *description;
    };
    // Places and sizes in twips, as laid out for 96 dots per inch (15 twips a pixel); what a
    // screen reader says in the designed window (in English: the name, and no Chinese in the
    // description).
    const Row rows[] = {
        {"Frame1", "QGroupBox", "Form1", "通訊埠", "Serial port", 240, 240, 6135, 975, "通訊埠",
         "Serial port", ""},
        {"cboComPort", "QComboBox", "Frame1", nullptr, nullptr, 120, 360, 1215, 390, "通訊埠編號",
         "Port", "Com1 到 Com16"},
        {"cbospeed", "QComboBox", "Frame1", nullptr, nullptr, 1560, 360, 975, 390, "鮑率",
         "Baud rate", "每秒位元數"},
        {"cboset", "QComboBox", "Frame1", nullptr, nullptr, 2760, 360, 975, 390, "資料格式",
         "Framing", "同位元、資料位元、停止位元"},
        {"cmdopen", "QPushButton", "Frame1", "開啟", "Open", 4320, 360, 735, 375, "開啟通訊埠",
         "Open port", ""},
        {"cmdclose", "QPushButton", "Frame1", "關閉", "Close", 5040, 360, 735, 375, "關閉通訊埠",
         "Close port", ""},
        {"Frame2", "QGroupBox", "Form1", "傳送資料 (HEX 16進制)", "Request (hexadecimal)", 240,
         1200, 6135, 1095, "傳送資料", "Request", ""},
        {"Label1", "QLabel", "Frame2", "Adderss", "Address", 120, 240, 735, 255, "從站位址",
         "Slave address", ""},
        {"Label2", "QLabel", "Frame2", " Function", " Function", 840, 240, 855, 255, "功能碼",
         "Function code", ""},
        {"Label3", "QLabel", "Frame2", " Register", " Register", 1680, 240, 855, 255, "起始暫存器",
         "Start register", ""},
        {"Label4", "QLabel", "Frame2", " Length", " Length", 2640, 240, 735, 255, "暫存器數量",
         "Register count", ""},
        {"Label5", "QLabel", "Frame2", "CRC", "CRC", 3840, 240, 495, 255, "CRC 檢查碼", "CRC", ""},
        {"txtadr", "QLineEdit", "Frame2", "01", "01", 240, 480, 495, 405, "從站位址",
         "Slave address", "請求位元組 0，十六進位，2 位數"},
        {"txtfun", "QLineEdit", "Frame2", "03", "03", 960, 480, 495, 390, "功能碼", "Function code",
         "請求位元組 1，十六進位，2 位數"},
        {"txtres", "QLineEdit", "Frame2", "0000", "0000", 1680, 480, 735, 405, "起始暫存器",
         "Start register", "請求位元組 2 與 3，高位元組在前，十六進位，4 位數"},
        {"txtnum", "QLineEdit", "Frame2", "0002", "0002", 2640, 480, 735, 405, "暫存器數量",
         "Register count", "請求位元組 4 與 5，高位元組在前，十六進位，4 位數"},
        {"txtcrc", "QLineEdit", "Frame2", "C40B", "C40B", 3600, 480, 855, 405, "CRC 檢查碼", "CRC",
         "請求位元組 6 與 7，依傳送順序，十六進位，由前面的欄位算出，唯讀"},
        {"cmdtr", "QPushButton", "Frame2", "傳送", "Send", 4680, 480, 1095, 405, "傳送", "Send",
         "傳送請求一次並等待回應"},
        {"Label10", "QLabel", "Form1", "接收資料", "Reply log", 480, 2400, 1095, 255, "接收紀錄",
         "Reply log", ""},
        {"Text2", "QPlainTextEdit", "Form1", "", "", 240, 2640, 6135, 3615, "接收紀錄", "Reply log",
         "每次交換一行：回應的位元組，十六進位"},
        {"Frame3", "QGroupBox", "Form1", "時間間隔", "Reply wait", 6600, 240, 1455, 975, "等待時間",
         "Reply wait", ""},
        {"txtdelay", "QLineEdit", "Frame3", "100", "100", 120, 360, 735, 390, "等待時間（毫秒）",
         "Reply wait in milliseconds", "傳送後等待回應的毫秒數，10 到 10000，十進位"},
        {"Label6", "QLabel", "Frame3", "ms", "ms", 960, 360, 375, 375, "等待時間（毫秒）",
         "Reply wait in milliseconds", ""},
        {"Frame5", "QGroupBox", "Form1", "連續傳送", "Continuous", 6600, 1200, 1455, 1095,
         "連續傳送", "Continuous sending", ""},
        {"cont_on", "QPushButton", "Frame5", "ON", "ON", 120, 480, 615, 375, "開始連續傳送",
         "Start continuous sending", ""},
        {"cont_off", "QPushButton", "Frame5", "OFF", "OFF", 720, 480, 615, 375, "停止連續傳送",
         "Stop continuous sending", ""},
        {"cmbCLS", "QPushButton", "Form1", "清除", "Clear", 6720, 2640, 1095, 405, "清除", "Clear",
         "清空接收紀錄與暫存器值"},
        {"Frame4", "QGroupBox", "Form1", "接收資料換算", "Registers", 6600, 3120, 1695, 3135,
         "回應暫存器值", "Reply registers", ""},
        {"Label7", "QLabel", "Frame4", "3+4 byte", "Bytes 3+4", 240, 360, 1095, 255, "第一個暫存器",
         "First register", ""},
        {"txtreg0", "QLineEdit", "Frame4", "", "", 240, 600, 1095, 495, "第一個暫存器",
         "First register", "回應位元組 3 與 4，高位元組在前，十進位"},
        {"Label8", "QLabel", "Frame4", "5+6 byte", "Bytes 5+6", 240, 1200, 1095, 255,
         "第二個暫存器", "Second register", ""},
        {"txtreg1", "QLineEdit", "Frame4", "", "", 240, 1440, 1095, 495, "第二個暫存器",
         "Second register", "回應位元組 5 與 6，高位元組在前，十進位"},
        {"Label9", "QLabel", "Frame4", "7+8 byte", "Bytes 7+8", 240, 2040, 1095, 255,
         "第三個暫存器", "Third register", ""},
        {"txtreg2", "QLineEdit", "Frame4", "", "", 240, 2280, 1095, 495, "第三個暫存器",
         "Third register", "回應位元組 7 與 8，高位元組在前，十進位"},
    };
    const bool english = windowLanguage() == Language::English;
    const auto text = [](const char *utf8) {
        return utf8 ? QString::fromUtf8(utf8) : QString();
    };
    for (const Row &r : rows) {
        QTest::newRow(r.name) << QString::fromLatin1(r.kind) << QString::fromLatin1(r.container)
                              << text(english ? r.englishCaption : r.caption)
                              << QRect(r.left, r.top, r.width, r.height)
                              << text(english ? r.englishName : r.accessibleName)
                              << text(r.description);
    }
}

void TestForm1Window::controls()
{
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QString, accessibleName);
    QFETCH(QString, description);

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QList<QWidget *> found = m_form->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *w = found.first();
    QVERIFY2(w->inherits(qPrintable(kind)), w->metaObject()->className());
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(),
             QRect(twips.left() / 15, twips.top() / 15, twips.width() / 15, twips.height() / 15));
    QString shown;
    if (auto *g = qobject_cast<QGroupBox *>(w))
        shown = g->title();
    else if (auto *l = qobject_cast<QLabel *>(w))
        shown = l->text();
    else if (auto *b = qobject_cast<QPushButton *>(w))
        shown = b->text();
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        shown = e->text();
    else if (auto *t = qobject_cast<QPlainTextEdit *>(w))
        shown = t->toPlainText();
    if (!caption.isNull())
        QCOMPARE(shown, caption);

    // What a screen reader is told, through Qt's accessibility interface.
    const QHash<QString, QAccessible::Role> roles = {
        {"QGroupBox", QAccessible::Grouping},     {"QLabel", QAccessible::StaticText},
        {"QComboBox", QAccessible::ComboBox},     {"QPushButton", QAccessible::Button},
        {"QLineEdit", QAccessible::EditableText}, {"QPlainTextEdit", QAccessible::EditableText}};
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(w);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), roles.value(kind));
    const auto labelledBy = [](QAccessibleInterface *field) {
        QList<QAccessibleInterface *> labels;
        for (const auto &[label, relation] : field->relations(QAccessible::Label))
            labels << label;
        return labels;
    };
    // Qt on Linux names a combo box by its text; its name is that of the label it is buddy of.
    const QList<QAccessibleInterface *> labels = labelledBy(accessible);
    QCOMPARE(kind == QLatin1String("QComboBox") && !labels.isEmpty()
                 ? labels.first()->text(QAccessible::Name)
                 : accessible->text(QAccessible::Name),
             accessibleName);
    const QString told = accessible->text(QAccessible::Description);
    if (windowLanguage() == Language::English) {
        QCOMPARE(told.isEmpty(), description.isEmpty());
        QVERIFY2(!told.contains(QRegularExpression(QStringLiteral("\\p{Han}"))), qPrintable(told));
    } else {
        QCOMPARE(told, description);
    }
    // A label is the buddy of the field it stands by, has its name and is listed as its label.
    if (auto *label = qobject_cast<QLabel *>(w)) {
        QVERIFY(label->buddy());
        QCOMPARE(label->buddy()->accessibleName(), accessibleName);
        QVERIFY(
            labelledBy(QAccessible::queryAccessibleInterface(label->buddy())).contains(accessible));
    }
}

void TestForm1Window::fieldSettings()
{
    struct Field {
        const char *name;
        int maxLength;
        bool readOnly;
    };
    const Field fields[] = {{"txtadr", 2, false}, {"txtfun", 2, false},   {"txtres", 4, false},
                            {"txtnum", 4, false}, {"txtdelay", 5, false}, {"txtcrc", 0, true},
                            {"txtreg0", 0, true}, {"txtreg1", 0, true},   {"txtreg2", 0, true}};
    for (const Field &f : fields) {
        auto *e = control<QLineEdit>(f.name);
        QVERIFY2(e->alignment() & Qt::AlignHCenter, f.name);
        QVERIFY2(e->isReadOnly() == f.readOnly, f.name);
        if (f.maxLength)
            QVERIFY2(e->maxLength() == f.maxLength, f.name);
    }
    auto *log = control<LogTextBox>("Text2");
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(log->tabChangesFocus());
    const bool english = windowLanguage() == Language::English;
    QCOMPARE(control<QComboBox>("cbospeed")->toolTip(),
             english ? QStringLiteral("Baud rate") : QStringLiteral("速率"));
    QCOMPARE(control<QComboBox>("cboset")->toolTip(),
             english ? QStringLiteral("Framing") : QStringLiteral("協定"));
    for (const char *name : {"cboComPort", "cbospeed", "cboset"})
        QVERIFY2(control<QComboBox>(name)->isEditable(), name);
    // Tool tips show in the window font, their Chinese from the Traditional Chinese face.
    QCOMPARE(QToolTip::font().families().value(0), QStringLiteral("Tahoma"));
    QVERIFY(QToolTip::font().families().contains(QStringLiteral("Noto Sans CJK TC")));

    auto *timer = m_form->findChild<transaction::IntervalTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->parent(), m_form.get());
    QCOMPARE(timer->interval(), 0);
    QCOMPARE(&m_form->comm(), static_cast<serial::SerialComm *>(m_comm));

    for (QWidget *w : m_form->findChildren<QWidget *>()) {
        if (qobject_cast<QLabel *>(w) || qobject_cast<QGroupBox *>(w))
            QVERIFY2(w->focusPolicy() == Qt::NoFocus, qPrintable(w->objectName()));
    }
}

void TestForm1Window::backgrounds()
{
    const QColor crc =
        control<QLineEdit>("txtcrc")->palette().color(QPalette::Active, QPalette::Base);
    QVERIFY2(crc != control<QLineEdit>("txtadr")->palette().color(QPalette::Active, QPalette::Base),
             "txtcrc stands out from the editable fields");
    QVERIFY2(crc.lightness() > 160 && crc.lightness() < 240 && crc.hslSaturation() < 40,
             qPrintable(crc.name()));
    for (const char *name : {"txtreg0", "txtreg1", "txtreg2"}) {
        QCOMPARE(control<QLineEdit>(name)->palette().color(QPalette::Active, QPalette::Base),
                 QColor(224, 224, 224));
    }
}

void TestForm1Window::fonts_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    QTest::addColumn<QString>("chineseFace");

    const QString tahoma = QStringLiteral("Tahoma");
    const QString ming = QStringLiteral("新細明體");
    const QString sansTC = QStringLiteral("Noto Sans CJK TC");
    const QString mingTC = QStringLiteral("AR PL UMing TW");
    QTest::newRow("Form1") << tahoma << 11.25 << sansTC;
    for (const char *name : {"Frame1", "Frame2", "Frame3", "Label1", "Label2", "Label3", "Label4",
                             "Label5", "Label10"})
        QTest::newRow(name) << tahoma << 9.75 << sansTC;
    QTest::newRow("Label6") << tahoma << 12.0 << sansTC;
    for (const char *name : {"cmdopen", "cmdclose", "cmdtr"})
        QTest::newRow(name) << ming << 11.25 << mingTC;
    for (const char *name : {"txtreg0", "txtreg1", "txtreg2"})
        QTest::newRow(name) << tahoma << 15.75 << sansTC;
    // Controls without a font of their own show the window font, also inside the frames
    // whose captions are smaller.
    for (const char *name : {"cboComPort", "cbospeed", "cboset", "txtadr", "txtfun", "txtres",
                             "txtnum", "txtcrc", "txtdelay", "Text2", "Frame4", "Frame5", "cont_on",
                             "cont_off", "cmbCLS", "Label7", "Label8", "Label9"})
        QTest::newRow(name) << tahoma << 11.25 << sansTC;
}

void TestForm1Window::fonts()
{
    QFETCH(QString, family);
    QFETCH(double, points);
    QFETCH(QString, chineseFace);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QWidget *w = name == QLatin1String("Form1") ? m_form.get() : control<QWidget>(name);
    const QFont font = w->font();
    QCOMPARE(font.families().value(0), family);
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY2(font.families().contains(chineseFace), qPrintable(font.families().join(',')));
}

void TestForm1Window::captionGlyphs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("chineseFace");

    const QString sansTC = QStringLiteral("Noto Sans CJK TC");
    const QString mingTC = QStringLiteral("AR PL UMing TW");
    QTest::newRow("Frame1") << QStringLiteral("通訊埠") << sansTC;
    QTest::newRow("Frame2") << QStringLiteral("傳送資料 (HEX 16進制)") << sansTC;
    QTest::newRow("Frame3") << QStringLiteral("時間間隔") << sansTC;
    QTest::newRow("Frame4") << QStringLiteral("接收資料換算") << sansTC;
    QTest::newRow("Frame5") << QStringLiteral("連續傳送") << sansTC;
    QTest::newRow("Label1") << QStringLiteral("Adderss") << sansTC;
    QTest::newRow("Label2") << QStringLiteral(" Function") << sansTC;
    QTest::newRow("Label6") << QStringLiteral("ms") << sansTC;
    QTest::newRow("Label7") << QStringLiteral("3+4 byte") << sansTC;
    QTest::newRow("Label10") << QStringLiteral("接收資料") << sansTC;
    QTest::newRow("cont_off") << QStringLiteral("OFF") << sansTC;
    QTest::newRow("cmbCLS") << QStringLiteral("清除") << sansTC;
    QTest::newRow("cmdopen") << QStringLiteral("開啟") << mingTC;
    QTest::newRow("cmdclose") << QStringLiteral("關閉") << mingTC;
    QTest::newRow("cmdtr") << QStringLiteral("傳送") << mingTC;
    QTest::newRow("cbospeed") << QStringLiteral("速率") << sansTC;
    QTest::newRow("cboset") << QStringLiteral("協定") << sansTC;
}

// Every character of every caption is drawn from a real glyph (no empty box), Chinese from a
// Traditional Chinese face and Latin from the Latin sans, whatever the locale.
void TestForm1Window::captionGlyphs()
{
    QFETCH(QString, text);
    QFETCH(QString, chineseFace);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    // Tool tips show in the window font.
    const QFont font = control<QWidget>(name)->font();
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        QTextLayout layout(QString(c), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        QCOMPARE(runs.size(), 1);
        const QString face = runs.first().rawFont().familyName();
        for (const quint32 glyph : runs.first().glyphIndexes())
            QVERIFY2(glyph != 0, qPrintable(QStringLiteral("no glyph for %1 in %2").arg(c, face)));
        if (c.script() == QChar::Script_Han)
            QCOMPARE(face, chineseFace);
        else if (chineseFace.startsWith(QLatin1String("Noto")))
            QVERIFY2(face.startsWith(QLatin1String("DejaVu Sans")), qPrintable(face));
    }
}

// Every caption fits the place laid out for it; ctest runs this at QT_SCALE_FACTOR 1, 1.25, 1.5
// and 2 in both languages.
void TestForm1Window::captionsFit()
{
    for (QLabel *label : m_form->findChildren<QLabel *>()) {
        if (label->isHidden())
            continue;
        const int width = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(width <= label->width(), qPrintable(label->objectName()));
        QVERIFY2(label->fontMetrics().height() <= label->height() + 3,
                 qPrintable(label->objectName()));
    }
    for (QGroupBox *frame : m_form->findChildren<QGroupBox *>()) {
        const int width = frame->fontMetrics().horizontalAdvance(frame->title());
        QVERIFY2(width + 16 <= frame->width(), qPrintable(frame->objectName()));
    }
    for (QPushButton *button : m_form->findChildren<QPushButton *>()) {
        const int width = button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(width + 8 <= button->width(), qPrintable(button->objectName()));
        QVERIFY2(button->fontMetrics().height() + 4 <= button->height(),
                 qPrintable(button->objectName()));
    }
}

// The widest text each box can be given is shown whole, with no part scrolled out of view.
void TestForm1Window::fieldsShowTheirLongestText()
{
    const QString hex = QStringLiteral("0123456789ABCDEF");
    const QString digits = QStringLiteral("0123456789");
    struct Field {
        const char *name;
        const QString &characters;
        int length;
    };
    const Field fields[] = {{"txtadr", hex, 2},     {"txtfun", hex, 2},     {"txtres", hex, 4},
                            {"txtnum", hex, 4},     {"txtcrc", hex, 4},     {"txtdelay", digits, 5},
                            {"txtreg0", digits, 5}, {"txtreg1", digits, 5}, {"txtreg2", digits, 5}};
    for (const Field &f : fields) {
        auto *e = control<QLineEdit>(f.name);
        QChar widest = f.characters.at(0);
        for (const QChar c : f.characters) {
            if (e->fontMetrics().horizontalAdvance(c) > e->fontMetrics().horizontalAdvance(widest))
                widest = c;
        }
        const int text = e->fontMetrics().horizontalAdvance(QString(f.length, widest));
        const int frame = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e);
        const int available = e->width() - 2 * frame - 4; // the box keeps 2 pixels a side
        QVERIFY2(text <= available, qPrintable(QStringLiteral("%1: %2 of %3 pixels")
                                                   .arg(QLatin1String(f.name))
                                                   .arg(text)
                                                   .arg(available)));
        QVERIFY2(e->fontMetrics().height() <= e->height() - 2 * frame, f.name);
    }
}

void TestForm1Window::fixedFrameAndTitle()
{
    showActive();
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Wirelark"));
    QCOMPARE(m_form->size(), QSize(565, 431));
    QCOMPARE(m_form->minimumSize(), QSize(565, 431));
    QCOMPARE(m_form->maximumSize(), QSize(565, 431));
    const Qt::WindowFlags flags = m_form->windowHandle()->flags();
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(m_form->windowHandle()->minimumSize(), QSize(565, 431));
    QCOMPARE(m_form->windowHandle()->maximumSize(), QSize(565, 431));
    QCOMPARE(m_form->windowHandle()->title(), QStringLiteral("Wirelark"));
}

void TestForm1Window::icon()
{
    const QImage image(QStringLiteral(":/icons/wirelark.png"));
    QCOMPARE(image.size(), QSize(64, 64));
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QVERIFY(image.colorCount() <= 256);
    QVERIFY(m_form->windowIcon().availableSizes().contains(QSize(64, 64)));
}

void TestForm1Window::centredOnWholePrimaryScreen()
{
    showActive();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect outer = m_form->frameGeometry();
    const int left = screen.x() + int(std::floor((screen.width() - outer.width()) / 2.0));
    const int top = screen.y() + int(std::floor((screen.height() - outer.height()) / 2.0));
    QTRY_COMPARE(m_form->frameGeometry().topLeft(), QPoint(left, top));
    // Where the window shows on the X server, not only what the widget believes.
    QTRY_COMPARE(m_form->windowHandle()->framePosition(), QPoint(left, top));
}

void TestForm1Window::firstFocusOnPortBox()
{
    showActive();
    QTRY_COMPARE(QApplication::focusWidget(), control<QWidget>("cboComPort"));
}

// The program's event loop ends when the operator closes the window.
void TestForm1Window::closingTheWindowEndsTheProgram()
{
    showActive();
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    QTimer::singleShot(0, m_form.get(), [this] { m_form->close(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(2); });
    watchdog.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(lastClosed.count(), 1);
    QVERIFY(!m_form->isVisible());
}

QTEST_MAIN(TestForm1Window)
#include "tst_form1window.moc"
