#include "frame/request.h"

#include "frame/crc16.h"
#include "frame/hextext.h"

namespace frame
{

namespace
{

std::uint8_t pieceValue(const QString &text, qsizetype from, qsizetype length)
{
    // A piece has at most two characters, so its value is 0 to 255 and never overflows.
    return static_cast<std::uint8_t>(HEX_to_DEC(text.mid(from, length)).value_or(0));
}

} // namespace

RequestFields normalizedFields(const RequestFields &fields)
{
    return {Length_str(fields.address, 2), Length_str(fields.function, 2),
            Length_str(fields.startRegister, 4), Length_str(fields.registerCount, 4)};
}

void setRequestBody(RequestFrame &frame, const RequestFields &normalized)
{
    frame[0] = pieceValue(normalized.address, 0, 2);
    frame[1] = pieceValue(normalized.function, 0, 2);
    frame[2] = pieceValue(normalized.startRegister, 0, 2);
    frame[3] = pieceValue(normalized.startRegister, 2, 2);
    frame[4] = pieceValue(normalized.registerCount, 0, 2);
    frame[5] = pieceValue(normalized.registerCount, 2, 2);
}

void storeCrc(RequestFrame &frame)
{
    const std::uint16_t crc = crc16Modbus(std::span<const std::uint8_t>(frame.data(), 6));
    frame[6] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[7] = static_cast<std::uint8_t>(crc >> 8);
}

QString crcText(std::uint16_t crc)
{
    return byteText(std::uint8_t(crc & 0xFF)) + byteText(std::uint8_t(crc >> 8));
}

QString crcText(const RequestFrame &frame)
{
    return byteText(frame[6]) + byteText(frame[7]);
}

RequestFrame buildRequest(const RequestFields &fields)
{
    RequestFrame frame{};
    setRequestBody(frame, normalizedFields(fields));
    storeCrc(frame);
    return frame;
}

QByteArray frameBytes(const RequestFrame &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data()),
                      static_cast<qsizetype>(frame.size()));
}

} // namespace frame
