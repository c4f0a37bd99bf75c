// Form1's exchange, register read-outs, continuous sending and clearing.
#include "app/form1.h"

#include "app/intervaltimer.h"
#include "app/logtextbox.h"
#include "frame/fieldrules.h"
#include "transaction/eventwait.h"
#include "transaction/logline.h"
#include "transaction/readout.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <initializer_list>

namespace
{

// A read-out that already shows the text is left alone: setting it again would repaint it, and
// the frame beneath it, for nothing, and drop a selection the operator made to copy the value.
void showReadout(QLineEdit *readout, const QString &text)
{
    if (readout->text() != text)
        readout->setText(text);
}

} // namespace

void Form1::setTxBusy(bool busy)
{
    Tx_busy = busy ? -1 : 0;
    // Ticks that come while a transaction runs are dropped by the busy test anyway.
    Timer1->setSuspended(busy);
}

void Form1::cmdtr_Click()
{
    if (Tx_busy != 0)
        return;
    LenClear(8000);
    setTxBusy(true);
    Send_receive();
    if (m_exchangeEnd == ExchangeEnd::Completed) {
        Text2->setFocus();
        Text2->moveCaretToEnd();
    }
    setTxBusy(false);
}

// One exchange: discard what waits, send the request, wait, log the reply, decode it.
// A failed step ends it there (see endExchange). Once the window is closing nothing is read,
// written or shown any more: a waiting exchange is abandoned, a new one does not start.
void Form1::Send_receive()
{
    if (m_closing || m_waitAbandoned) {
        m_exchangeEnd = ExchangeEnd::Abandoned;
        return;
    }
    if (const serial::CommError error = MSComm1->setInBufferCount(0))
        return endExchange(error);
    const QByteArray request(reinterpret_cast<const char *>(Tx_frame.data()),
                             static_cast<qsizetype>(Tx_frame.size()));
    if (const serial::CommError error = MSComm1->output(request))
        return endExchange(error);

    Delay_time(frame::delayMilliseconds(txtdelay->text()) / 1000.0);
    if (m_waitAbandoned) {
        m_exchangeEnd = ExchangeEnd::Abandoned;
        return;
    }

    QByteArray received;
    if (const serial::CommError error = MSComm1->input(received))
        return endExchange(error);
    Rx_bytes = received;
    Text2->appendText(transaction::logLine(Rx_bytes));
    showReadout(txtreg0, Display_reg(1));
    showReadout(txtreg1, Display_reg(2));
    showReadout(txtreg2, Display_reg(3));
    // Set last: an exchange nested in the wait may have ended otherwise.
    m_exchangeEnd = ExchangeEnd::Completed;
}

void Form1::Delay_time(double seconds)
{
    if (transaction::waitProcessingEvents(seconds, [this] { return m_closing; }) ==
        transaction::WaitEnd::Abandoned)
        m_waitAbandoned = true;
}

void Form1::LenClear(qint16 num)
{
    if (Text2->textLength() > num)
        Text2->setText(QString());
}

QString Form1::Display_reg(qint32 Tr_num)
{
    return transaction::registerReadout(Rx_bytes, txtnum->text(), Tr_num);
}

void Form1::cont_on_Click()
{
    cont_on->setEnabled(false);
    cont_off->setEnabled(true);
    cmdtr->setEnabled(false);
    cmdclose->setEnabled(false);
    Timer1->setInterval(1);
}

void Form1::cont_off_Click()
{
    setTxBusy(false);
    Timer1->setInterval(0);
    cont_on->setEnabled(true);
    cont_off->setEnabled(false);
    cmdtr->setEnabled(true);
    cmdclose->setEnabled(true);
}

void Form1::Timer1_Timer()
{
    if (Tx_busy != 0)
        return;
    LenClear(5000);
    setTxBusy(true);
    Send_receive();
    setTxBusy(false);
}

void Form1::cmbCLS_Click()
{
    Text2->setText(QString());
    txtreg0->setText(QString());
    txtreg1->setText(QString());
    txtreg2->setText(QString());
}

void Form1::endExchange(const serial::CommError &error)
{
    // The operator closed the port during the wait: the exchange just ends.
    if (error.number == serial::CommError::NotOpen && !MSComm1->portOpen()) {
        m_exchangeEnd = ExchangeEnd::PortClosed;
        return;
    }
    m_exchangeEnd = ExchangeEnd::Failed;
    handleTransactionFailure(error);
}

// Stops continuous sending, closes the port and leaves the controls exactly in the
// port-closed state before the operator is told, so that nothing starts another exchange
// while the box is up. One box per failure, however many exchanges fail while it is shown.
void Form1::handleTransactionFailure(const serial::CommError &error)
{
    Timer1->setInterval(0);
    MSComm1->setPortOpen(false); // a port that is already gone may refuse; closed is all we need
    for (QWidget *control : std::initializer_list<QWidget *>{cmdopen, cboComPort, cbospeed, cboset})
        control->setEnabled(true);
    for (QWidget *control : {cmdclose, cmdtr, cont_on, cont_off})
        control->setEnabled(false);

    if (m_reportingFailure)
        return;
    m_reportingFailure = true;
    showWarning(error.message);
    m_reportingFailure = false;
}
