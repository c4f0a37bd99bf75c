#include "writerequest.h"

#include "crc16.h"
#include "rtuframe.h"

#include <span>

namespace frame
{

namespace
{

void appendWord(QByteArray &bytes, quint16 word)
{
    bytes.append(static_cast<char>(word >> 8));
    bytes.append(static_cast<char>(word & 0xFF));
}

} // namespace

QByteArray writeRequest(quint8 address, quint8 function, quint16 start,
                        const QList<quint16> &values, QString &error)
{
    const qsizetype count = values.size();
    const bool coils = function == 0x05 || function == 0x0F;
    const bool single = function == 0x05 || function == 0x06;
    if (!coils && !single && function != 0x10) {
        error = QStringLiteral("function %1 does not write: give 05, 06, 0F or 10.")
                    .arg(QStringLiteral("%1").arg(function, 2, 16, QLatin1Char('0')).toUpper());
        return {};
    }
    const qsizetype limit = single ? 1 : coils ? kMaxWriteCoils : kMaxWriteRegisters;
    if (count < 1 || count > limit) {
        error =
            QStringLiteral("function %1 writes %2 %3 in one frame, not %4.")
                .arg(QStringLiteral("%1").arg(function, 2, 16, QLatin1Char('0')).toUpper())
                .arg(single ? QStringLiteral("exactly one") : QStringLiteral("1 to %1").arg(limit))
                .arg(coils ? QStringLiteral("coils") : QStringLiteral("registers"))
                .arg(count);
        return {};
    }
    if (start + count - 1 > 0xFFFF) {
        error = QStringLiteral("%1 values from %2 run past the last address, 65535.")
                    .arg(count)
                    .arg(start);
        return {};
    }
    QByteArray bytes;
    bytes.append(static_cast<char>(address));
    bytes.append(static_cast<char>(function));
    appendWord(bytes, start);
    if (function == 0x05) {
        appendWord(bytes, values[0] != 0 ? 0xFF00 : 0x0000);
    } else if (function == 0x06) {
        appendWord(bytes, values[0]);
    } else {
        appendWord(bytes, static_cast<quint16>(count));
        const qsizetype byteCount = coils ? (count + 7) / 8 : 2 * count;
        bytes.append(static_cast<char>(byteCount));
        if (coils) {
            QByteArray bits(byteCount, '\0');
            for (qsizetype k = 0; k < count; ++k)
                if (values[k] != 0)
                    bits[k / 8] = static_cast<char>(bits[k / 8] | (1 << (k % 8)));
            bytes.append(bits);
        } else {
            for (const quint16 value : values)
                appendWord(bytes, value);
        }
    }
    const quint16 crc = crc16Modbus(
        std::span(reinterpret_cast<const std::uint8_t *>(bytes.constData()), bytes.size()));
    bytes.append(static_cast<char>(crc & 0xFF));
    bytes.append(static_cast<char>(crc >> 8));
    return bytes;
}

QString writeReplyProblem(const QByteArray &request, const QByteArray &reply)
{
    if (reply.isEmpty())
        return QStringLiteral("no reply.");
    if (!crcMatches(reply))
        return QStringLiteral("the reply's CRC is wrong.");
    if (reply.size() == 5 && quint8(reply[1]) == (quint8(request[1]) | 0x80))
        return QStringLiteral("the slave refused the write with exception %1.")
            .arg(quint8(reply[2]), 2, 16, QLatin1Char('0'));
    const bool single = request[1] == char(0x05) || request[1] == char(0x06);
    if (single ? reply != request : reply.size() != 8 || reply.left(6) != request.left(6))
        return single ? QStringLiteral("the reply does not echo the request.")
                      : QStringLiteral("the reply does not give back the request's address, "
                                       "function, start and quantity.");
    return {};
}

} // namespace frame
