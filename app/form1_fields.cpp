// Form1's request and field-editor procedures.
#include "app/form1.h"

#include "frame/fieldrules.h"
#include "frame/request.h"

#include <QLineEdit>

void Form1::Display_crc()
{
    const frame::RequestFields fields =
        frame::normalizedFields({txtadr->text(), txtfun->text(), txtres->text(), txtnum->text()});
    txtadr->setText(fields.address);
    txtfun->setText(fields.function);
    txtres->setText(fields.startRegister);
    txtnum->setText(fields.registerCount);
    frame::setRequestBody(Tx_frame, fields);
    crcheck();
    txtcrc->setText(frame::crcText(Tx_frame));
}

void Form1::crcheck()
{
    frame::storeCrc(Tx_frame);
}

void Form1::txtadr_KeyPress(qint16 &KeyAscii)
{
    KeyAscii = frame::hexKeyFilter(KeyAscii);
}

void Form1::txtfun_KeyPress(qint16 &KeyAscii)
{
    KeyAscii = frame::hexKeyFilter(KeyAscii);
}

void Form1::txtres_KeyPress(qint16 &KeyAscii)
{
    KeyAscii = frame::hexKeyFilter(KeyAscii);
}

void Form1::txtnum_KeyPress(qint16 &KeyAscii)
{
    KeyAscii = frame::hexKeyFilter(KeyAscii);
}

void Form1::txtdelay_KeyPress(qint16 &KeyAscii)
{
    KeyAscii = frame::decimalKeyFilter(KeyAscii);
}

void Form1::txtadr_GotFocus()
{
    selectAllText(txtadr);
}

void Form1::txtfun_GotFocus()
{
    selectAllText(txtfun);
}

void Form1::txtres_GotFocus()
{
    selectAllText(txtres);
}

void Form1::txtnum_GotFocus()
{
    selectAllText(txtnum);
}

void Form1::txtdelay_GotFocus()
{
    selectAllText(txtdelay);
}

void Form1::txtadr_LostFocus()
{
    Display_crc();
}

void Form1::txtfun_LostFocus()
{
    Display_crc();
}

void Form1::txtres_LostFocus()
{
    Display_crc();
}

void Form1::txtnum_LostFocus()
{
    Display_crc();
}

void Form1::txtdelay_LostFocus()
{
    txtdelay->setText(frame::clampDelayText(txtdelay->text()));
}
