#pragma once

#include "app/enablestates.h"
#include "frame/request.h"
#include "serial/commerror.h"
#include "serial/portmap.h"
#include "serial/serialcomm.h"
#include "transaction/exchange.h"
#include "transaction/verdict.h"

#include <QByteArray>
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class LogTextBox;

namespace transaction
{
class IntervalTimer;
}

// What the window needs from outside; tests put fakes here.
struct Form1Services {
    // The serial component the window drives. Required.
    std::unique_ptr<serial::SerialComm> comm;
    // The serial ports of the machine, as the port box numbers them, linked ports first.
    std::function<QList<serial::MappedPort>()> scanPorts;
    // Told what every exchange puts on the wire (a capture, say); not owned, may be null.
    transaction::ExchangeObserver *observer = nullptr;
};

// The one window. Its procedures keep their names; they read controls, call the engines of
// frame/, serial/ and transaction/, and write controls. They are split by topic:
// - form1.cpp: layout, start-up, the enable states, warnings;
// - form1_fields.cpp: the request (frame::) and the field editors;
// - form1_port.cpp: line settings, port list, open and close (serial::openPort);
// - form1_transaction.cpp: the exchange (run by transaction::Exchange: discard, write, wait,
//   read), the log, the read-outs, continuous sending and clearing.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(Form1Services services, QWidget *parent = nullptr);
    ~Form1() override;

    using WarningPresenter = std::function<void(const QString &text)>;
    // Replaces the modal warning box (tests record the text instead).
    void setWarningPresenter(WarningPresenter presenter);

    // Window state, read by tests and tools.
    const frame::RequestFrame &txFrame() const { return Tx_frame; }
    const QByteArray &rxBytes() const { return Rx_bytes; }
    qint16 txBusy() const { return Tx_busy; }
    serial::SerialComm &comm() const { return *MSComm1; }
    transaction::Exchange &exchange() const { return *m_exchange; }
    int timerInterval() const;
    QString logText() const; // the log with CRLF line ends

    // Start-up, run once by the constructor before the window is shown.
    void Form_Load();

    // Line settings and port list (serial/).
    void Display_set();
    void Display_speed();
    void comm_initialize();
    void Display_comport();

    // Request (frame/).
    void Display_crc();
    void crcheck();

    // Enable states and the port (serial/).
    void Toggle_port_controls();
    void cmdopen_Click();
    void cmdclose_Click();

    // The exchange (transaction/).
    void cmdtr_Click();
    transaction::ExchangeEnd Send_receive();
    void LenClear(qint16 num);
    QString Display_reg(qint32 Tr_num);
    void cont_on_Click();
    void cont_off_Click();
    void Timer1_Timer();
    void cmbCLS_Click();

    // Field editors (frame/). A key filter sets KeyAscii to 0 to discard the key.
    void txtadr_KeyPress(qint16 &KeyAscii);
    void txtfun_KeyPress(qint16 &KeyAscii);
    void txtres_KeyPress(qint16 &KeyAscii);
    void txtnum_KeyPress(qint16 &KeyAscii);
    void txtdelay_KeyPress(qint16 &KeyAscii);
    void txtadr_GotFocus();
    void txtfun_GotFocus();
    void txtres_GotFocus();
    void txtnum_GotFocus();
    void txtdelay_GotFocus();
    void txtadr_LostFocus();
    void txtfun_LostFocus();
    void txtres_LostFocus();
    void txtnum_LostFocus();
    void txtdelay_LostFocus();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void createControls();
    void setFonts();
    void setTabOrders();
    void setAccessibleTexts();
    void connectEvents();
    // Places the window, frame included, in the middle of the whole primary screen.
    void centreOnScreen();
    void showWarning(const QString &text);
    // Sets the tool tip of the port box entry of the port number in use.
    void refreshPortToolTip(bool opened);
    // Sets the read-outs' tool tips: the bytes each decodes and, after an exchange, whether the
    // reply was valid (null: no reply judged yet).
    void setReadoutToolTips(const transaction::Verdict *verdict);
    void selectAllText(QLineEdit *field);
    // Sets the switched controls and Timer1's interval to one of the three states, changing
    // only what differs, in the order of the table.
    void setControlState(ControlState state);
    // A transaction step failed for a reason other than the operator closing the port.
    void handleTransactionFailure(const serial::CommError &error);
    // Sets Tx_busy (-1 busy, 0 idle); Timer1 does not wake the process while it is busy.
    void setTxBusy(bool busy);

    // Controls; each objectName is its member name.
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QComboBox *cboComPort = nullptr;
    QComboBox *cbospeed = nullptr;
    QComboBox *cboset = nullptr;
    QPushButton *cmdopen = nullptr;
    QPushButton *cmdclose = nullptr;
    QPushButton *cmdtr = nullptr;
    QPushButton *cont_on = nullptr;
    QPushButton *cont_off = nullptr;
    QPushButton *cmbCLS = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLineEdit *txtadr = nullptr;
    QLineEdit *txtfun = nullptr;
    QLineEdit *txtres = nullptr;
    QLineEdit *txtnum = nullptr;
    QLineEdit *txtcrc = nullptr;
    QLineEdit *txtdelay = nullptr;
    QLineEdit *txtreg0 = nullptr;
    QLineEdit *txtreg1 = nullptr;
    QLineEdit *txtreg2 = nullptr;
    LogTextBox *Text2 = nullptr;
    transaction::IntervalTimer *Timer1 = nullptr;
    std::unique_ptr<serial::SerialComm> MSComm1;
    std::unique_ptr<transaction::Exchange> m_exchange; // runs every exchange over MSComm1

    std::function<QList<serial::MappedPort>()> m_scanPorts;
    QList<serial::MappedPort> m_ports; // the machine's ports as last scanned
    WarningPresenter m_warningPresenter;
    bool m_closing = false; // the window is closing: a waiting transaction is abandoned
    // The outer size the window was centred with; a window manager's frame known only after
    // the first show changes it, and the window is then centred once more.
    QSize m_centredOuterSize;
    bool m_recentreOnFrame = false;

    // Shared window state.
    frame::RequestFrame Tx_frame{};
    QByteArray Rx_bytes;

    // The window's exchanges, as the operator drives them. Tx_busy, the window's busy flag, is -1
    // from the moment Send or a Timer1 tick starts an exchange until that exchange has ended, and
    // 0 otherwise; neither starts one while it is -1. OFF sets it to 0 at once, so that Send can
    // start an exchange inside the wait of the one running: that one runs nested and ends first,
    // and each caller acts on the end of its own exchange, which Send_receive returns (only a
    // completed Send moves focus and caret to the log). The first exchange that fails shows its
    // warning; one that fails while that warning is up (m_reportingFailure) closes the port and
    // shows none, so that there is one box per failure.
    qint16 Tx_busy = 0;
    bool m_reportingFailure = false;
};
