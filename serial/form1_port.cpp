// Form1's line settings, port list, open and close, and the enable states they switch.
#include "app/form1.h"

#include "serial/linesettings.h"
#include "serial/portdiscovery.h"

#include <QComboBox>
#include <QPushButton>

void Form1::Display_set()
{
    cboset->addItems(serial::framingEntries());
    cboset->setCurrentIndex(serial::kDefaultFramingIndex);
}

void Form1::Display_speed()
{
    cbospeed->addItems(serial::baudRateEntries());
    cbospeed->setCurrentIndex(serial::kDefaultBaudIndex);
}

void Form1::comm_initialize()
{
    MSComm1->setCommPort(serial::kInitialCommPort);
    MSComm1->setDTREnable(false);
    MSComm1->setInputMode(1);
}

void Form1::Display_comport()
{
    cboComPort->addItems(serial::portEntries());
    const QList<serial::MappedPort> ports =
        m_scanPorts ? m_scanPorts() : QList<serial::MappedPort>{};
    const int position =
        serial::preselectedPosition(serial::discoveryNames(ports), MSComm1->commPort());
    if (position >= -1 && position < cboComPort->count())
        cboComPort->setCurrentIndex(position);
}

void Form1::Toggle_port_controls()
{
    cmdclose->setEnabled(!cmdclose->isEnabled());
    cmdopen->setEnabled(!cmdopen->isEnabled());
    cboComPort->setEnabled(!cboComPort->isEnabled());
    cbospeed->setEnabled(!cbospeed->isEnabled());
    cboset->setEnabled(!cboset->isEnabled());
}

void Form1::cmdopen_Click() {}

void Form1::cmdclose_Click() {}
