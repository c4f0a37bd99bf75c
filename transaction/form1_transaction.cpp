// Form1's exchange, register read-outs, continuous sending and clearing.
#include "app/form1.h"

void Form1::cmdtr_Click() {}

void Form1::Send_receive() {}

void Form1::Delay_time(double) {}

void Form1::LenClear(qint16) {}

QString Form1::Display_reg(qint32)
{
    return {};
}

void Form1::cont_on_Click() {}

void Form1::cont_off_Click() {}

void Form1::Timer1_Timer() {}

void Form1::cmbCLS_Click() {}

void Form1::handleTransactionFailure(const serial::CommError &) {}
