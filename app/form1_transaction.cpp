// Form1's exchange, register read-outs, continuous sending and clearing.
#include "app/form1.h"

#include "app/logtextbox.h"
#include "frame/fieldrules.h"
#include "transaction/exchangeoutcome.h"
#include "transaction/intervaltimer.h"
#include "transaction/readout.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

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
    if (Send_receive() == transaction::ExchangeEnd::Completed) {
        Text2->setFocus();
        Text2->moveCaretToEnd();
    }
    setTxBusy(false);
}

// One exchange with the request as last built and the wait as its text stands now, then its
// line in the log and the read-outs; returns how it ended. A failed step ends it there; once
// the window is closing nothing is read, written or shown any more.
transaction::ExchangeEnd Form1::Send_receive()
{
    const frame::RequestFrame sent = Tx_frame;
    const transaction::ExchangeResult result =
        m_exchange->run(frame::frameBytes(sent), frame::delayMilliseconds(txtdelay->text()));
    if (result.end == transaction::ExchangeEnd::Failed)
        handleTransactionFailure(result.error);
    if (result.end != transaction::ExchangeEnd::Completed)
        return result.end;
    Rx_bytes = result.reply;
    const transaction::ExchangeOutcome outcome =
        transaction::exchangeOutcome(sent, result, MSComm1->lineSettings(), txtnum->text());
    Text2->appendLine(outcome.logLine, outcome.verdictText);
    showReadout(txtreg0, outcome.readouts[0]);
    showReadout(txtreg1, outcome.readouts[1]);
    showReadout(txtreg2, outcome.readouts[2]);
    setReadoutToolTips(&outcome.verdict);
    return result.end;
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
    setControlState(ControlState::Continuous);
}

void Form1::cont_off_Click()
{
    setTxBusy(false);
    setControlState(ControlState::PortOpen);
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
    setReadoutToolTips(nullptr);
}

void Form1::setReadoutToolTips(const transaction::Verdict *verdict)
{
    QString from;
    if (verdict && verdict->valid)
        from = tr("From a valid reply.");
    else if (verdict)
        from = tr("From a reply that is not valid: %1.")
                   .arg(transaction::summaryWord(verdict->summary));
    int high = 3;
    for (QLineEdit *readout : {txtreg0, txtreg1, txtreg2}) {
        QString tip = tr("Bytes %1 and %2 of the reply (counted from 0), high byte first, as an "
                         "unsigned decimal number.")
                          .arg(high)
                          .arg(high + 1);
        if (!from.isEmpty())
            tip += QLatin1Char('\n') + from;
        readout->setToolTip(tip);
        high += 2;
    }
}

// Stops continuous sending, closes the port and leaves the controls exactly in the
// port-closed state before the operator is told, so that nothing starts another exchange
// while the box is up.
void Form1::handleTransactionFailure(const serial::CommError &error)
{
    Timer1->setInterval(0);
    MSComm1->setPortOpen(false); // a port that is already gone may refuse; closed is all we need
    setControlState(ControlState::PortClosed);

    if (m_reportingFailure)
        return;
    m_reportingFailure = true;
    showWarning(error.message);
    m_reportingFailure = false;
}
