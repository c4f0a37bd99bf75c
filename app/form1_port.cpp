// Form1's line settings, port list, open and close, and the enable states they switch.
#include "app/form1.h"

#include "app/boxentries.h"
#include "app/porttooltip.h"
#include "serial/portdiscovery.h"
#include "serial/portopening.h"
#include "transaction/intervaltimer.h"

#include <QComboBox>
#include <QPushButton>

void Form1::Display_set()
{
    cboset->addItems(framingEntries());
    cboset->setCurrentIndex(kDefaultFramingIndex);
}

void Form1::Display_speed()
{
    cbospeed->addItems(baudRateEntries());
    cbospeed->setCurrentIndex(kDefaultBaudIndex);
}

void Form1::comm_initialize()
{
    MSComm1->setCommPort(kInitialCommPort);
    MSComm1->setDTREnable(false);
    MSComm1->setInputMode(1);
}

void Form1::Display_comport()
{
    // Appending to an empty box selects its first entry; the box keeps its text and no
    // selection until a position is chosen below.
    const QString text = cboComPort->currentText();
    cboComPort->addItems(portEntries());
    cboComPort->setCurrentIndex(-1);
    cboComPort->setEditText(text);

    m_ports = m_scanPorts ? m_scanPorts() : QList<serial::MappedPort>{};
    for (int position = 0; position < cboComPort->count(); ++position)
        cboComPort->setItemData(position, currentPortToolTip(m_ports, position + 1, false),
                                Qt::ToolTipRole);

    // A position outside the list is refused and changes nothing; -1 clears the selection
    // and the text.
    const int position =
        serial::preselectedPosition(serial::discoveryNames(m_ports), MSComm1->commPort());
    if (position == -1) {
        cboComPort->setCurrentIndex(-1);
        cboComPort->setEditText(QString());
    } else if (position >= 0 && position < cboComPort->count()) {
        cboComPort->setCurrentIndex(position);
    }
}

void Form1::Toggle_port_controls()
{
    cmdclose->setEnabled(!cmdclose->isEnabled());
    cmdopen->setEnabled(!cmdopen->isEnabled());
    cboComPort->setEnabled(!cboComPort->isEnabled());
    cbospeed->setEnabled(!cbospeed->isEnabled());
    cboset->setEnabled(!cboset->isEnabled());
}

void Form1::cmdopen_Click()
{
    if (const serial::CommError failure = serial::openPort(
            *MSComm1, cbospeed->currentText(), cboset->currentText(), cboComPort->currentText())) {
        showWarning(failure.message);
        return;
    }
    Toggle_port_controls();
    cont_on->setEnabled(true);
    cmdtr->setEnabled(true);
    refreshPortToolTip(true);
}

// The tool tip of the open port's entry tells whether its adapter now answers with low
// latency, and how to make it do so for good when it does not. Opening scans the machine's
// ports afresh, since an adapter may have been plugged in since the last scan; closing reuses
// that scan, as the port it describes is the one just closed.
void Form1::refreshPortToolTip(bool opened)
{
    const int position = MSComm1->commPort() - 1;
    if (position < 0 || position >= cboComPort->count() || !m_scanPorts)
        return;
    if (opened)
        m_ports = m_scanPorts();
    cboComPort->setItemData(position, currentPortToolTip(m_ports, position + 1, opened),
                            Qt::ToolTipRole);
}

// Ends in the port-closed state whether or not closing the port succeeded.
void Form1::cmdclose_Click()
{
    Timer1->setInterval(0);
    if (const serial::CommError failure = MSComm1->setPortOpen(false))
        showWarning(failure.message);
    Toggle_port_controls();
    cont_on->setEnabled(false);
    cont_off->setEnabled(false);
    cmdtr->setEnabled(false);
    refreshPortToolTip(false);
}
