// RTU frame lengths and decoding from any bytes, both directions: lengths within the layouts'
// limits, told by the frame's first bytes alone and not changed by more, fields from their
// offsets, data right before the CRC, the CRC against the bit-by-bit one, and an expected reply
// length that the reply's own layout gives.
#include "frame/rtuframe.h"
#include "fuzzsupport.h"

#include <algorithm>

using frame::Direction;
using frame::FrameLength;
using Status = FrameLength::Status;

namespace
{

void check(QByteArrayView bytes, Direction direction)
{
    const auto at = [&](qsizetype i) {
        return quint8(bytes[i]);
    };
    const auto word = [&](qsizetype i) {
        return quint16(at(i) << 8 | at(i + 1));
    };
    const FrameLength length = frame::rtuFrameLength(bytes, direction);
    const qsizetype n = length.length;
    switch (length.status) {
    case Status::NeedMore:
        FUZZ_CHECK(n > bytes.size() && n <= 11);
        break;
    case Status::Known:
        FUZZ_CHECK(n >= frame::kMinRtuFrameLength && n <= frame::kMaxRtuFrameLength);
        break;
    case Status::Unknown:
        FUZZ_CHECK(n == 0 && bytes.size() >= 2);
        break;
    case Status::TooLong:
        FUZZ_CHECK(n > frame::kMaxRtuFrameLength && n <= 13 + 255);
        break;
    }
    for (qsizetype k = 0; k <= std::min<qsizetype>(bytes.size(), 12); ++k) {
        const FrameLength prefix = frame::rtuFrameLength(bytes.first(k), direction);
        FUZZ_CHECK(prefix == length || (prefix.status == Status::NeedMore && prefix.length > k));
        if (prefix.status == Status::NeedMore && prefix.length <= bytes.size())
            FUZZ_CHECK(frame::rtuFrameLength(bytes.first(prefix.length), direction) != prefix);
    }

    const frame::RtuFrame f = frame::decodeRtuFrame(bytes, direction);
    const bool counted = length.status == Status::Known || length.status == Status::TooLong;
    FUZZ_CHECK(f.length == length &&
               f.size == (counted ? std::min(bytes.size(), n) : bytes.size()));
    FUZZ_CHECK(f.complete == (length.status == Status::Known
                                  ? bytes.size() >= n
                                  : length.status == Status::Unknown && bytes.size() >= 4 &&
                                        bytes.size() <= frame::kMaxRtuFrameLength));
    if (f.size >= 2)
        FUZZ_CHECK(f.address == at(0) && f.function == at(1) &&
                   f.exception == (direction == Direction::Response && at(1) >= 0x80));
    if (f.exception)
        FUZZ_CHECK(length == (FrameLength{Status::Known, 5}) &&
                   (f.size < 3 || f.exceptionCode == at(2)));
    if (f.start)
        FUZZ_CHECK(f.size >= 4 && *f.start == word(2));
    if (f.quantity)
        FUZZ_CHECK(f.size >= 6 && *f.quantity == word(4));
    if (f.writeStart && f.writeQuantity)
        FUZZ_CHECK(f.size >= 10 && *f.writeStart == word(6) && *f.writeQuantity == word(8));
    if (f.complete) {
        const qsizetype body = f.size - 2;
        FUZZ_CHECK(
            f.crcExpected ==
            fuzz::crc16(reinterpret_cast<const std::uint8_t *>(bytes.data()), std::size_t(body)));
        FUZZ_CHECK(f.crcReceived == quint16(at(body) | at(body + 1) << 8));
        FUZZ_CHECK(f.crcGood == (f.crcExpected == f.crcReceived));
        FUZZ_CHECK(f.crcGood == frame::crcMatches(bytes.first(f.size)));
        FUZZ_CHECK(f.data == bytes.sliced(body - f.data.size(), f.data.size()));
        if (f.byteCount)
            FUZZ_CHECK(f.data.size() == *f.byteCount);
        if (!f.values.empty())
            FUZZ_CHECK(qsizetype(f.values.size()) == f.data.size() / 2);
        for (std::size_t i = 0; i < f.values.size(); ++i)
            FUZZ_CHECK(f.values[i] == word(body - f.data.size() + 2 * qsizetype(i)));
    } else {
        FUZZ_CHECK(!f.crcGood && f.data.isEmpty() && f.values.empty());
    }

    if (direction == Direction::Request) {
        const std::optional<qsizetype> expected = frame::expectedResponseLength(bytes);
        if (expected) {
            FUZZ_CHECK(*expected >= 5 && *expected <= frame::kMaxRtuFrameLength && at(0) != 0);
            const char reply[] = {char(at(0)), char(at(1)), char(*expected - 5)};
            FUZZ_CHECK(frame::rtuFrameLength(QByteArrayView(reply, 3), Direction::Response) ==
                       (FrameLength{Status::Known, *expected}));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    check(bytes, Direction::Request);
    check(bytes, Direction::Response);
    return 0;
}
