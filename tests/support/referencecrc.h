#pragma once

#include <QByteArray>
#include <QtGlobal>

// CRC-16/MODBUS written out bit by bit for tests, apart from the product's own: reflected
// polynomial 0xA001, initial value 0xFFFF, no final XOR. On the wire the low byte goes first.
inline quint16 referenceCrc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                            : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

// The bytes given in hex with their reference CRC appended, low byte first.
inline QByteArray withReferenceCrc(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    const quint16 crc = referenceCrc16(bytes);
    return bytes + char(crc & 0xFF) + char(crc >> 8);
}
