#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace frame
{

// Which way a frame goes: master to slave, or slave to master. One function code has one layout
// in each direction.
enum class Direction { Request, Response };

// Address, function, at most 252 data bytes, CRC.
inline constexpr qsizetype kMaxRtuFrameLength = 256;
// Address, function, CRC.
inline constexpr qsizetype kMinRtuFrameLength = 4;
// A request to this address goes to every slave; none replies.
inline constexpr quint8 kBroadcastAddress = 0;

// The length of the frame that begins at the first of some bytes, told from as few of its first
// bytes as its layout allows. Bytes after the frame's own are not looked at.
//
// Layouts (multi-byte fields high byte first, the CRC low byte first):
//   request  01-06          8 bytes
//   request  0F, 10         9 + byte count at offset 6
//   request  17            13 + write byte count at offset 10
//   response 01-04, 17      5 + byte count at offset 2
//   response 05, 06, 0F, 10 8 bytes (05 and 06 echo the request)
//   response 80-FF          5 bytes: an exception reply, function | 0x80 and the exception code
// Any other function (and a request's 80-FF) has no length by rule: its frame ends at a silence of
// 3.5 characters on the line, which only the caller can see.
struct FrameLength {
    enum class Status {
        NeedMore, // too few bytes to tell; length: how many it takes (2, 3, 7 or 11)
        Known,    // length: the frame's bytes, 4 to 256
        Unknown,  // the function has no length by rule; length 0
        TooLong   // length: the bytes a byte count announces, above 256; no frame begins here
    };
    Status status = Status::NeedMore;
    qsizetype length = 0;

    bool operator==(const FrameLength &) const = default;
};

// Safe for any bytes of any size: reads at most the first 11.
FrameLength rtuFrameLength(QByteArrayView bytes, Direction direction);

// The length of the normal reply to a request as sent (its CRC is not looked at): 8 for 05, 06, 0F
// and 10; 5 + ceil(quantity / 8) for 01 and 02 with a quantity (offset 4) of 1 to 2000; 5 + 2 x
// quantity for 03, 04 and 17 with a (read) quantity of 1 to 125. Empty when no normal reply comes:
// a broadcast, another function, a quantity outside those ranges (a slave refuses it with an
// exception reply), or a request too short to hold the quantity. An exception reply is 5 bytes
// whatever the request; byte 1 of it is the request's function | 0x80.
std::optional<qsizetype> expectedResponseLength(QByteArrayView request);

// True when frame is 4 to 256 bytes and its last two are the CRC-16/MODBUS of the others, low
// byte first. Anything shorter or longer is no frame and gives false.
bool crcMatches(QByteArrayView frame);

// What a frame holds. A field stays empty (or 0) when the frame's layout has no such field or
// its bytes are not at hand; data, values and the CRC come from a complete frame only.
struct RtuFrame {
    FrameLength length; // rtuFrameLength of the same bytes and direction
    // Bytes taken as this frame: for a known length (or TooLong) as many of it as are at hand,
    // for an unknown one all the bytes given, for NeedMore all of them.
    qsizetype size = 0;
    // All the frame's bytes are at hand: a known length and at least that many bytes, or an
    // unknown length and 4 to 256 bytes in all.
    bool complete = false;
    bool crcGood = false;     // crcMatches over the frame's bytes
    quint16 crcReceived = 0;  // the last two bytes as a value, the last one high
    quint16 crcExpected = 0;  // CRC-16/MODBUS of the bytes before them
    quint8 address = 0;       // byte 0; 0 is a broadcast
    quint8 function = 0;      // byte 1 as on the wire, 0x80 set in an exception reply
    bool exception = false;   // a response whose function has 0x80 set
    quint8 exceptionCode = 0; // byte 2 of an exception reply
    // Start and quantity of requests 01-04, 0F, 10 and of responses 0F and 10; the start alone
    // for 05 and 06; the read part of a request 17.
    std::optional<quint16> start;
    std::optional<quint16> quantity;
    std::optional<quint16> writeStart; // the write part of a request 17
    std::optional<quint16> writeQuantity;
    std::optional<quint8> byteCount; // requests 0F, 10, 17 and responses 01-04, 17
    // The bytes after the fields above, before the CRC: coil and input bits (bit 0 of the first
    // byte is the first), register bytes, the value of 05 and 06; for a function without a known
    // layout all bytes between the function and the CRC. Empty for an exception reply.
    QByteArray data;
    // data as 16-bit values, high byte first, for the functions that carry registers (03, 04, 10,
    // 17) and for 05 and 06 (one value: FF00 or 0000 for a coil); an odd last byte is left out.
    std::vector<quint16> values;
};

// Decodes the frame that begins at the first of bytes; safe for any bytes of any size. Bytes
// after a frame of known length are left out, so a stream can be decoded a frame at a time.
RtuFrame decodeRtuFrame(QByteArrayView bytes, Direction direction);

// A short name of the function: "read holding registers"; "exception to read holding registers"
// for 0x83; "function 2B" for one without a layout here.
QString functionName(quint8 function);

} // namespace frame
