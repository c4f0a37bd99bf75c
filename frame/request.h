#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace frame
{

// The eight bytes on the wire: address, function, start register (high, low),
// register count (high, low), CRC low byte, CRC high byte.
using RequestFrame = std::array<std::uint8_t, 8>;

// Texts of the four request fields.
struct RequestFields {
    QString address;
    QString function;
    QString startRegister;
    QString registerCount;

    bool operator==(const RequestFields &) const = default;
};

// Each field brought to its width (2, 2, 4, 4 characters), upper case.
RequestFields normalizedFields(const RequestFields &fields);

// Bytes 0 to 5 from normalised fields; each two-character piece is read as hexadecimal,
// characters that are not digits adding nothing. Bytes 6 and 7 are left alone.
void setRequestBody(RequestFrame &frame, const RequestFields &normalized);

// Stores the CRC of bytes 0 to 5 in bytes 6 (low) and 7 (high).
void storeCrc(RequestFrame &frame);

// A CRC as shown: low byte then high byte, four upper-case hex digits (wire order).
QString crcText(std::uint16_t crc);
// The CRC that bytes 6 and 7 of frame hold, as shown.
QString crcText(const RequestFrame &frame);

// Normalise, fill the body and store the CRC in one step.
RequestFrame buildRequest(const RequestFields &fields);

// The eight bytes as they go on the wire.
QByteArray frameBytes(const RequestFrame &frame);

} // namespace frame
