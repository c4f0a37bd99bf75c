#include "frame/rtuframe.h"

#include "frame/crc16.h"

#include <algorithm>
#include <span>

namespace frame
{

namespace
{

// The length rule of one function in one direction: a fixed part, plus the byte at countAt
// when countAt is not negative.
struct LengthRule {
    qsizetype fixed = 0;
    qsizetype countAt = -1;
};

constexpr quint8 kExceptionBit = 0x80;
constexpr qsizetype kCrcLength = 2;
constexpr qsizetype kHeaderLength = 2; // address, function
constexpr quint16 kMaxReadBits = 2000;
constexpr quint16 kMaxReadRegisters = 125;

std::optional<LengthRule> lengthRule(quint8 function, Direction direction)
{
    if (direction == Direction::Response && (function & kExceptionBit))
        return LengthRule{5};
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
        return direction == Direction::Request ? LengthRule{8} : LengthRule{5, 2};
    case 0x05:
    case 0x06:
        return LengthRule{8};
    case 0x0F:
    case 0x10:
        return direction == Direction::Request ? LengthRule{9, 6} : LengthRule{8};
    case 0x17:
        return direction == Direction::Request ? LengthRule{13, 10} : LengthRule{5, 2};
    default:
        return std::nullopt;
    }
}

quint8 byteAt(QByteArrayView bytes, qsizetype at)
{
    return quint8(bytes[at]);
}

quint16 wordAt(QByteArrayView bytes, qsizetype at)
{
    return quint16(byteAt(bytes, at) << 8 | byteAt(bytes, at + 1));
}

quint16 crcOf(QByteArrayView bytes)
{
    return crc16Modbus(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t *>(bytes.data()), std::size_t(bytes.size())));
}

bool carriesRegisters(quint8 function)
{
    switch (function) {
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x10:
    case 0x17:
        return true;
    default:
        return false;
    }
}

// Reads the fields of a known layout that lie within bytes; returns where the data begins.
qsizetype readFields(RtuFrame &f, QByteArrayView bytes, Direction direction)
{
    const auto word = [&](qsizetype at) {
        return at + 2 <= bytes.size() ? std::optional(wordAt(bytes, at)) : std::nullopt;
    };
    const auto count = [&](qsizetype at) {
        return at < bytes.size() ? std::optional(byteAt(bytes, at)) : std::nullopt;
    };
    if (f.exception) {
        if (bytes.size() > 2)
            f.exceptionCode = byteAt(bytes, 2);
        return 3;
    }
    const bool request = direction == Direction::Request;
    switch (f.function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
        if (!request) {
            f.byteCount = count(2);
            return 3;
        }
        f.start = word(2);
        f.quantity = word(4);
        return 6;
    case 0x05:
    case 0x06:
        f.start = word(2);
        return 4;
    case 0x0F:
    case 0x10:
        f.start = word(2);
        f.quantity = word(4);
        if (!request)
            return 6;
        f.byteCount = count(6);
        return 7;
    case 0x17:
        if (!request) {
            f.byteCount = count(2);
            return 3;
        }
        f.start = word(2);
        f.quantity = word(4);
        f.writeStart = word(6);
        f.writeQuantity = word(8);
        f.byteCount = count(10);
        return 11;
    default:
        return kHeaderLength;
    }
}

} // namespace

FrameLength rtuFrameLength(QByteArrayView bytes, Direction direction)
{
    using Status = FrameLength::Status;
    if (bytes.size() < kHeaderLength)
        return {Status::NeedMore, kHeaderLength};
    const std::optional<LengthRule> rule = lengthRule(byteAt(bytes, 1), direction);
    if (!rule)
        return {Status::Unknown, 0};
    if (rule->countAt < 0)
        return {Status::Known, rule->fixed};
    if (bytes.size() <= rule->countAt)
        return {Status::NeedMore, rule->countAt + 1};
    const qsizetype length = rule->fixed + byteAt(bytes, rule->countAt);
    return {length > kMaxRtuFrameLength ? Status::TooLong : Status::Known, length};
}

std::optional<qsizetype> expectedResponseLength(QByteArrayView request)
{
    if (request.size() < kHeaderLength || byteAt(request, 0) == kBroadcastAddress)
        return std::nullopt;
    const quint8 function = byteAt(request, 1);
    switch (function) {
    case 0x05:
    case 0x06:
    case 0x0F:
    case 0x10:
        return 8;
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x17:
        break;
    default:
        return std::nullopt;
    }
    if (request.size() < 6)
        return std::nullopt;
    const quint16 quantity = wordAt(request, 4);
    const bool bits = function == 0x01 || function == 0x02;
    if (quantity == 0 || quantity > (bits ? kMaxReadBits : kMaxReadRegisters))
        return std::nullopt;
    return 5 + (bits ? (quantity + 7) / 8 : 2 * qsizetype(quantity));
}

bool crcMatches(QByteArrayView frame)
{
    if (frame.size() < kMinRtuFrameLength || frame.size() > kMaxRtuFrameLength)
        return false;
    const qsizetype body = frame.size() - kCrcLength;
    return crcOf(frame.first(body)) == quint16(byteAt(frame, body) | byteAt(frame, body + 1) << 8);
}

RtuFrame decodeRtuFrame(QByteArrayView bytes, Direction direction)
{
    using Status = FrameLength::Status;
    RtuFrame f;
    f.length = rtuFrameLength(bytes, direction);
    switch (f.length.status) {
    case Status::Known:
    case Status::TooLong:
        f.size = std::min(bytes.size(), f.length.length);
        f.complete = f.length.status == Status::Known && f.size == f.length.length;
        break;
    case Status::Unknown:
        f.size = bytes.size();
        f.complete = f.size >= kMinRtuFrameLength && f.size <= kMaxRtuFrameLength;
        break;
    case Status::NeedMore:
        f.size = bytes.size();
        break;
    }
    const QByteArrayView own = bytes.first(f.size);
    if (own.size() >= 1)
        f.address = byteAt(own, 0);
    if (own.size() >= kHeaderLength) {
        f.function = byteAt(own, 1);
        f.exception = direction == Direction::Response && (f.function & kExceptionBit);
    }
    const qsizetype dataAt = readFields(f, own, direction);
    if (!f.complete)
        return f;

    const qsizetype body = own.size() - kCrcLength;
    f.crcReceived = quint16(byteAt(own, body) | byteAt(own, body + 1) << 8);
    f.crcExpected = crcOf(own.first(body));
    f.crcGood = f.crcReceived == f.crcExpected;
    if (dataAt < body)
        f.data = own.sliced(dataAt, body - dataAt).toByteArray();
    if (!f.exception && carriesRegisters(f.function)) {
        f.values.reserve(std::size_t(f.data.size() / 2));
        for (qsizetype at = 0; at + 1 < f.data.size(); at += 2)
            f.values.push_back(wordAt(f.data, at));
    }
    return f;
}

QString functionName(quint8 function)
{
    if (function & kExceptionBit)
        return QStringLiteral("exception to ") + functionName(quint8(function & ~kExceptionBit));
    switch (function) {
    case 0x01:
        return QStringLiteral("read coils");
    case 0x02:
        return QStringLiteral("read discrete inputs");
    case 0x03:
        return QStringLiteral("read holding registers");
    case 0x04:
        return QStringLiteral("read input registers");
    case 0x05:
        return QStringLiteral("write single coil");
    case 0x06:
        return QStringLiteral("write single register");
    case 0x0F:
        return QStringLiteral("write multiple coils");
    case 0x10:
        return QStringLiteral("write multiple registers");
    case 0x17:
        return QStringLiteral("read/write multiple registers");
    default:
        return QStringLiteral("function %1")
            .arg(QString::number(function, 16).rightJustified(2, QLatin1Char('0')).toUpper());
    }
}

} // namespace frame
