#include "pollcheck.h"

#include "frame/crc16.h"

namespace poll
{

ReplyCheck checkReply(const frame::RequestFrame &request, const transaction::ExchangeResult &result,
                      const serial::CommSettings &, int)
{
    const QByteArray &reply = result.reply;
    if (reply.isEmpty())
        return {false, QStringLiteral("no reply")};
    if (reply.size() < 4)
        return {false, QStringLiteral("short")};
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(reply.constData());
    const std::uint16_t crc = frame::crc16Modbus(
        std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(reply.size() - 2)));
    if ((crc & 0xFF) != bytes[reply.size() - 2] || (crc >> 8) != bytes[reply.size() - 1])
        return {false, QStringLiteral("bad CRC")};
    if (bytes[0] != request[0])
        return {false, QStringLiteral("wrong slave")};
    if ((bytes[1] & 0x7F) != request[1])
        return {false, QStringLiteral("wrong function")};
    return {true, QStringLiteral("valid")};
}

} // namespace poll
