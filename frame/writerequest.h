#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace frame
{

// The most registers one FC 10 request carries and the most coils one FC 0F request carries:
// what fits a 256-byte frame with the protocol's limits on the byte count.
inline constexpr qsizetype kMaxWriteRegisters = 123;
inline constexpr qsizetype kMaxWriteCoils = 1968;

// A write request with its CRC: FC 05 (one coil: values[0] non-zero is on, FF 00, else 00 00),
// 06 (one register), 0F (coils, one bit each, the first in the lowest bit of the first byte) or
// 10 (registers, high byte first). Empty with error set when function is none of these, the
// number of values does not suit it (one for 05 and 06; 1 to the limits above for 0F and 10),
// or the values run past register 65535.
QByteArray writeRequest(quint8 address, quint8 function, quint16 start,
                        const QList<quint16> &values, QString &error);

// Empty when reply is the normal reply to the write request as the protocol has it: for 05 and
// 06 the request's 8 bytes echoed, for 0F and 10 its address, function, start and quantity with
// a right CRC. Otherwise a sentence that says what differs.
QString writeReplyProblem(const QByteArray &request, const QByteArray &reply);

} // namespace frame
