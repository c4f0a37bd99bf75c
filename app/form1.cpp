#include "app/form1.h"

#include "app/fieldeditor.h"
#include "app/logtextbox.h"
#include "app/windowplacement.h"
#include "transaction/intervaltimer.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>
#include <utility>

namespace
{

// Places and sizes are given in twips: 15 twips are one pixel at 96 dots per inch. Qt scales
// pixels for screens of higher density.
int px(int twips)
{
    return (twips + 7) / 15;
}

QRect twipRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

template <typename W> W *makeControl(QWidget *parent, const char *name, QRect geometry)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

// Neither face the window is designed with exists on Linux. Each font names its face first,
// then fallbacks chosen glyph by glyph: Latin from a clean sans, Chinese from a Traditional
// Chinese face whatever the locale (a locale's own choice could give Simplified forms).
// The condensed sans keeps the captions within the widths laid out for the narrow Tahoma.
QFont tahoma(qreal points)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK TC")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

// The Ming face of the three port and send buttons. Their English captions take their Latin
// letters from the window's Latin sans: the Ming faces of Linux draw l like 1.
QFont mingLiU(qreal points)
{
    QFont font;
    font.setFamilies({QStringLiteral("新細明體"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("AR PL UMing TW"), QStringLiteral("Noto Serif CJK TC")});
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

constexpr qreal kWindowPoints = 11.25;
// The system colour of an active window border, a light grey.
constexpr QColor kActiveBorderGrey(212, 208, 200);
constexpr QColor kReadoutGrey(224, 224, 224);

void setBackground(QWidget *w, const QColor &colour)
{
    QPalette palette = w->palette();
    palette.setColor(QPalette::Base, colour);
    w->setPalette(palette);
}

} // namespace

Form1::Form1(Form1Services services, QWidget *parent)
    : QWidget(parent), MSComm1(std::move(services.comm)), m_scanPorts(std::move(services.scanPorts))
{
    Q_ASSERT(MSComm1);
    m_exchange = std::make_unique<transaction::Exchange>(*MSComm1);
    m_exchange->setAbandon([this] { return m_closing; });
    m_exchange->setObserver(services.observer);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Wirelark"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/wirelark.png")));
    // A fixed frame: title bar and close box, no minimise or maximise box, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(px(8475), px(6465));
    setFont(tahoma(kWindowPoints));
    QToolTip::setFont(tahoma(kWindowPoints));
    createControls();
    setFonts();
    setTabOrders();
    setAccessibleTexts();
    connectEvents();
    Form_Load();
    cboComPort->setFocus(Qt::OtherFocusReason);
}

Form1::~Form1() = default;

void Form1::createControls()
{
    Frame1 = makeControl<QGroupBox>(this, "Frame1", twipRect(240, 240, 6135, 975));
    Frame1->setTitle(tr("通訊埠"));
    cboComPort = makeControl<QComboBox>(Frame1, "cboComPort", twipRect(120, 360, 1215, 390));
    cbospeed = makeControl<QComboBox>(Frame1, "cbospeed", twipRect(1560, 360, 975, 390));
    cboset = makeControl<QComboBox>(Frame1, "cboset", twipRect(2760, 360, 975, 390));
    // What the operator types is what the open uses: no completion, no case folding, and Enter
    // adds no entry to the designed lists.
    for (QComboBox *box : {cboComPort, cbospeed, cboset}) {
        box->setEditable(true);
        box->setCompleter(nullptr);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    cboComPort->setEditText(QStringLiteral("ComPort"));
    cbospeed->setEditText(QStringLiteral("Speed"));
    cbospeed->setToolTip(tr("速率"));
    cboset->setEditText(QStringLiteral("Set"));
    cboset->setToolTip(tr("協定"));
    cmdopen = makeControl<QPushButton>(Frame1, "cmdopen", twipRect(4320, 360, 735, 375));
    cmdopen->setText(tr("開啟"));
    cmdclose = makeControl<QPushButton>(Frame1, "cmdclose", twipRect(5040, 360, 735, 375));
    cmdclose->setText(tr("關閉"));

    Frame2 = makeControl<QGroupBox>(this, "Frame2", twipRect(240, 1200, 6135, 1095));
    Frame2->setTitle(tr("傳送資料 (HEX 16進制)"));
    Label1 = makeControl<QLabel>(Frame2, "Label1", twipRect(120, 240, 735, 255));
    Label1->setText(tr("Adderss"));
    Label2 = makeControl<QLabel>(Frame2, "Label2", twipRect(840, 240, 855, 255));
    Label2->setText(tr(" Function"));
    Label3 = makeControl<QLabel>(Frame2, "Label3", twipRect(1680, 240, 855, 255));
    Label3->setText(tr(" Register"));
    Label4 = makeControl<QLabel>(Frame2, "Label4", twipRect(2640, 240, 735, 255));
    Label4->setText(tr(" Length"));
    Label5 = makeControl<QLabel>(Frame2, "Label5", twipRect(3840, 240, 495, 255));
    Label5->setText(tr("CRC"));
    txtadr = makeControl<QLineEdit>(Frame2, "txtadr", twipRect(240, 480, 495, 405));
    txtadr->setText(QStringLiteral("01"));
    txtadr->setMaxLength(2);
    txtfun = makeControl<QLineEdit>(Frame2, "txtfun", twipRect(960, 480, 495, 390));
    txtfun->setText(QStringLiteral("03"));
    txtfun->setMaxLength(2);
    txtres = makeControl<QLineEdit>(Frame2, "txtres", twipRect(1680, 480, 735, 405));
    txtres->setText(QStringLiteral("0000"));
    txtres->setMaxLength(4);
    txtnum = makeControl<QLineEdit>(Frame2, "txtnum", twipRect(2640, 480, 735, 405));
    txtnum->setText(QStringLiteral("0002"));
    txtnum->setMaxLength(4);
    txtcrc = makeControl<QLineEdit>(Frame2, "txtcrc", twipRect(3600, 480, 855, 405));
    txtcrc->setReadOnly(true);
    cmdtr = makeControl<QPushButton>(Frame2, "cmdtr", twipRect(4680, 480, 1095, 405));
    cmdtr->setText(tr("傳送"));

    Label10 = makeControl<QLabel>(this, "Label10", twipRect(480, 2400, 1095, 255));
    Label10->setText(tr("接收資料"));
    Text2 = makeControl<LogTextBox>(this, "Text2", twipRect(240, 2640, 6135, 3615));

    Frame3 = makeControl<QGroupBox>(this, "Frame3", twipRect(6600, 240, 1455, 975));
    Frame3->setTitle(tr("時間間隔"));
    txtdelay = makeControl<QLineEdit>(Frame3, "txtdelay", twipRect(120, 360, 735, 390));
    txtdelay->setText(QStringLiteral("100"));
    txtdelay->setMaxLength(5);
    Label6 = makeControl<QLabel>(Frame3, "Label6", twipRect(960, 360, 375, 375));
    Label6->setText(tr("ms"));

    Frame5 = makeControl<QGroupBox>(this, "Frame5", twipRect(6600, 1200, 1455, 1095));
    Frame5->setTitle(tr("連續傳送"));
    cont_on = makeControl<QPushButton>(Frame5, "cont_on", twipRect(120, 480, 615, 375));
    cont_on->setText(tr("ON"));
    cont_off = makeControl<QPushButton>(Frame5, "cont_off", twipRect(720, 480, 615, 375));
    cont_off->setText(tr("OFF"));

    cmbCLS = makeControl<QPushButton>(this, "cmbCLS", twipRect(6720, 2640, 1095, 405));
    cmbCLS->setText(tr("清除"));

    Frame4 = makeControl<QGroupBox>(this, "Frame4", twipRect(6600, 3120, 1695, 3135));
    Frame4->setTitle(tr("接收資料換算"));
    Label7 = makeControl<QLabel>(Frame4, "Label7", twipRect(240, 360, 1095, 255));
    Label7->setText(tr("3+4 byte"));
    txtreg0 = makeControl<QLineEdit>(Frame4, "txtreg0", twipRect(240, 600, 1095, 495));
    Label8 = makeControl<QLabel>(Frame4, "Label8", twipRect(240, 1200, 1095, 255));
    Label8->setText(tr("5+6 byte"));
    txtreg1 = makeControl<QLineEdit>(Frame4, "txtreg1", twipRect(240, 1440, 1095, 495));
    Label9 = makeControl<QLabel>(Frame4, "Label9", twipRect(240, 2040, 1095, 255));
    Label9->setText(tr("7+8 byte"));
    txtreg2 = makeControl<QLineEdit>(Frame4, "txtreg2", twipRect(240, 2280, 1095, 495));

    for (QLineEdit *box :
         {txtadr, txtfun, txtres, txtnum, txtcrc, txtdelay, txtreg0, txtreg1, txtreg2})
        box->setAlignment(Qt::AlignCenter);
    setBackground(txtcrc, kActiveBorderGrey);
    for (QLineEdit *box : {txtreg0, txtreg1, txtreg2}) {
        box->setReadOnly(true);
        setBackground(box, kReadoutGrey);
    }
    setReadoutToolTips(nullptr);
    Text2->setTabChangesFocus(true);

    // Frames and labels never take the focus.
    for (QGroupBox *frame : {Frame1, Frame2, Frame3, Frame4, Frame5})
        frame->setFocusPolicy(Qt::NoFocus);
    for (QLabel *label :
         {Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10})
        label->setFocusPolicy(Qt::NoFocus);

    Timer1 = new transaction::IntervalTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
}

// A control without a font of its own shows the window font. Qt hands a container's font down
// to its children, so the controls in the smaller-print frames get the window font back here.
void Form1::setFonts()
{
    const QFont window = tahoma(kWindowPoints);
    for (QGroupBox *frame : {Frame1, Frame2, Frame3})
        frame->setFont(tahoma(9.75));
    for (QLabel *label : {Label1, Label2, Label3, Label4, Label5, Label10})
        label->setFont(tahoma(9.75));
    Label6->setFont(tahoma(12));
    for (QWidget *control : std::initializer_list<QWidget *>{
             cboComPort, cbospeed, cboset, txtadr, txtfun, txtres, txtnum, txtcrc, txtdelay})
        control->setFont(window);
    for (QPushButton *button : {cmdopen, cmdclose, cmdtr})
        button->setFont(mingLiU(kWindowPoints));
    for (QLineEdit *box : {txtreg0, txtreg1, txtreg2})
        box->setFont(tahoma(15.75));
}

// Tab goes through the controls in this order; disabled controls are skipped.
void Form1::setTabOrders()
{
    const std::initializer_list<QWidget *> order = {
        cboComPort, cbospeed, cboset,   txtadr,   txtfun,   txtres, txtnum,
        txtcrc,     cmdopen,  cmdclose, cmdtr,    txtdelay, Text2,  cmbCLS,
        txtreg2,    txtreg1,  txtreg0,  cont_off, cont_on};
    QWidget *previous = nullptr;
    for (QWidget *control : order) {
        if (previous)
            setTabOrder(previous, control);
        previous = control;
    }
}

// What a screen reader says for each control: a name, and for the fields a description of
// the bytes they stand for. Bytes are counted from 0, as the read-out captions count them.
// Each label is the buddy of the field it stands by and has the field's name, which a screen
// reader takes from the label.
void Form1::setAccessibleTexts()
{
    const auto set = [](QWidget *control, const QString &name, const QString &description = {}) {
        control->setAccessibleName(name);
        control->setAccessibleDescription(description);
    };
    // On Linux Qt gives a combo box its text as name and leaves the name to the label whose
    // buddy it is; the boxes have no caption, so each gets a label that is never shown.
    const auto setBox = [this, &set](QComboBox *box, const QString &name,
                                     const QString &description) {
        set(box, name, description);
        auto *label = new QLabel(name, box->parentWidget());
        label->setObjectName(box->objectName() + QLatin1String("Name"));
        label->hide();
        label->setBuddy(box);
        set(label, name);
    };
    set(Frame1, tr("通訊埠"));
    setBox(cboComPort, tr("通訊埠編號"), tr("Com1 到 Com16"));
    setBox(cbospeed, tr("鮑率"), tr("每秒位元數"));
    setBox(cboset, tr("資料格式"), tr("同位元、資料位元、停止位元"));
    set(cmdopen, tr("開啟通訊埠"));
    set(cmdclose, tr("關閉通訊埠"));

    set(Frame2, tr("傳送資料"));
    const QString address = tr("從站位址");
    const QString function = tr("功能碼");
    const QString startRegister = tr("起始暫存器");
    const QString registerCount = tr("暫存器數量");
    const QString crc = tr("CRC 檢查碼");
    set(Label1, address);
    set(Label2, function);
    set(Label3, startRegister);
    set(Label4, registerCount);
    set(Label5, crc);
    set(txtadr, address, tr("請求位元組 0，十六進位，2 位數"));
    set(txtfun, function, tr("請求位元組 1，十六進位，2 位數"));
    set(txtres, startRegister, tr("請求位元組 2 與 3，高位元組在前，十六進位，4 位數"));
    set(txtnum, registerCount, tr("請求位元組 4 與 5，高位元組在前，十六進位，4 位數"));
    set(txtcrc, crc, tr("請求位元組 6 與 7，依傳送順序，十六進位，由前面的欄位算出，唯讀"));
    set(cmdtr, tr("傳送"), tr("傳送請求一次並等待回應"));

    const QString log = tr("接收紀錄");
    set(Label10, log);
    set(Text2, log, tr("每次交換一行：回應的位元組，十六進位"));

    set(Frame3, tr("等待時間"));
    const QString wait = tr("等待時間（毫秒）");
    set(txtdelay, wait, tr("傳送後等待回應的毫秒數，10 到 10000，十進位"));
    set(Label6, wait);
    set(Frame5, tr("連續傳送", "accessible name"));
    set(cont_on, tr("開始連續傳送"));
    set(cont_off, tr("停止連續傳送"));
    set(cmbCLS, tr("清除"), tr("清空接收紀錄與暫存器值"));

    set(Frame4, tr("回應暫存器值"));
    const QString first = tr("第一個暫存器");
    const QString second = tr("第二個暫存器");
    const QString third = tr("第三個暫存器");
    set(Label7, first);
    set(Label8, second);
    set(Label9, third);
    set(txtreg0, first, tr("回應位元組 3 與 4，高位元組在前，十進位"));
    set(txtreg1, second, tr("回應位元組 5 與 6，高位元組在前，十進位"));
    set(txtreg2, third, tr("回應位元組 7 與 8，高位元組在前，十進位"));

    const std::pair<QLabel *, QWidget *> buddies[] = {
        {Label1, txtadr},  {Label2, txtfun},   {Label3, txtres},  {Label4, txtnum},
        {Label5, txtcrc},  {Label6, txtdelay}, {Label7, txtreg0}, {Label8, txtreg1},
        {Label9, txtreg2}, {Label10, Text2}};
    for (const auto &[label, field] : buddies)
        label->setBuddy(field);
}

void Form1::connectEvents()
{
    connect(cmdopen, &QPushButton::clicked, this, &Form1::cmdopen_Click);
    connect(cmdclose, &QPushButton::clicked, this, &Form1::cmdclose_Click);
    connect(cmdtr, &QPushButton::clicked, this, &Form1::cmdtr_Click);
    connect(cont_on, &QPushButton::clicked, this, &Form1::cont_on_Click);
    connect(cont_off, &QPushButton::clicked, this, &Form1::cont_off_Click);
    connect(cmbCLS, &QPushButton::clicked, this, &Form1::cmbCLS_Click);
    connect(Timer1, &transaction::IntervalTimer::timeout, this, &Form1::Timer1_Timer);

    using KeyPress = void (Form1::*)(qint16 &);
    using Focus = void (Form1::*)();
    const auto editor = [this](QLineEdit *field, KeyPress keyPress, Focus gotFocus,
                               Focus lostFocus) {
        new FieldEditor(field, {[this, keyPress](qint16 &k) { (this->*keyPress)(k); },
                                [this, gotFocus] { (this->*gotFocus)(); },
                                [this, lostFocus] {
                                    (this->*lostFocus)();
                                }});
    };
    editor(txtadr, &Form1::txtadr_KeyPress, &Form1::txtadr_GotFocus, &Form1::txtadr_LostFocus);
    editor(txtfun, &Form1::txtfun_KeyPress, &Form1::txtfun_GotFocus, &Form1::txtfun_LostFocus);
    editor(txtres, &Form1::txtres_KeyPress, &Form1::txtres_GotFocus, &Form1::txtres_LostFocus);
    editor(txtnum, &Form1::txtnum_KeyPress, &Form1::txtnum_GotFocus, &Form1::txtnum_LostFocus);
    editor(txtdelay, &Form1::txtdelay_KeyPress, &Form1::txtdelay_GotFocus,
           &Form1::txtdelay_LostFocus);
}

void Form1::Form_Load()
{
    centreOnScreen();
    Text2->setText(QString());
    Display_set();
    Display_speed();
    comm_initialize();
    Display_comport();
    Display_crc();
    setControlState(ControlState::PortClosed);
    Tx_busy = 0;
}

void Form1::setControlState(ControlState state)
{
    const std::array<QWidget *, kEnableTable.size()> controls{
        cmdopen, cmdclose, cboComPort, cbospeed, cboset, cmdtr, cont_on, cont_off};
    for (std::size_t i = 0; i < controls.size(); ++i) {
        Q_ASSERT(controls[i]->objectName() == QLatin1String(kEnableTable[i].control));
        const bool enabled = kEnableTable[i].enabledIn(state);
        if (controls[i]->isEnabled() != enabled)
            controls[i]->setEnabled(enabled);
    }
    Timer1->setInterval(timerIntervalIn(state));
}

void Form1::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    m_centredOuterSize = frameGeometry().size();
    if (!isVisible())
        m_recentreOnFrame = true;
    move(centredTopLeft(screen->geometry(), m_centredOuterSize));
}

bool Form1::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // A window manager frames the window only once it is shown; when the outer size then
    // differs from the one centred with, centre it once more and stop watching.
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::WindowActivate:
        if (m_recentreOnFrame && isVisible() && frameGeometry().size() != m_centredOuterSize) {
            centreOnScreen();
            m_recentreOnFrame = false;
        }
        break;
    default:
        break;
    }
    return handled;
}

void Form1::setWarningPresenter(WarningPresenter presenter)
{
    m_warningPresenter = std::move(presenter);
}

void Form1::showWarning(const QString &text)
{
    if (m_warningPresenter) {
        m_warningPresenter(text);
        return;
    }
    QMessageBox::warning(this, QStringLiteral("Wirelark"), text);
}

int Form1::timerInterval() const
{
    return Timer1->interval();
}

QString Form1::logText() const
{
    return Text2->text();
}

void Form1::selectAllText(QLineEdit *field)
{
    field->setSelection(0, static_cast<int>(field->text().size()));
}

void Form1::closeEvent(QCloseEvent *event)
{
    m_closing = true;
    QWidget::closeEvent(event);
}
