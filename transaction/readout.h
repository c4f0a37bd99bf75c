#pragma once

#include <QByteArray>
#include <QString>

namespace transaction
{

// Two bytes, high byte first, as unsigned decimal text: 0 to 65535, no sign, no padding.
QString Byet_to_Str(quint8 temRes1, quint8 temRes2);

// Read-out k (1, 2 or 3) of a reply: the bytes at 2k+1 (high) and 2k+2 (low) in decimal.
// Empty when the register count text (hexadecimal) asks for fewer than k registers, when it
// does not convert, or when the reply is too short to hold both bytes.
QString registerReadout(const QByteArray &reply, const QString &registerCountText, qint32 k);

} // namespace transaction
