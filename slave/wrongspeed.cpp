#include "wrongspeed.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <deque>

namespace simulator
{

namespace
{

constexpr std::size_t kShortestFrame = 4; // address, function and CRC
constexpr std::size_t kLongestFrame = 256;

int parityBits(const serial::CommSettings &settings)
{
    return settings.parity == serial::CommSettings::Parity::None ? 0 : 1;
}

int stopBitCount(const serial::CommSettings &settings)
{
    return settings.stopBits == serial::CommSettings::StopBits::One ? 1 : 2;
}

// The line level of every bit of sent, in the order sent: true is high (idle, 1).
std::vector<bool> lineBits(std::span<const std::uint8_t> sent, const serial::CommSettings &settings)
{
    using Parity = serial::CommSettings::Parity;
    std::vector<bool> bits;
    for (const std::uint8_t byte : sent) {
        bits.push_back(false);
        int ones = 0;
        for (int k = 0; k < settings.dataBits; ++k) {
            const bool bit = ((byte >> k) & 1) != 0;
            ones += bit ? 1 : 0;
            bits.push_back(bit);
        }
        if (settings.parity == Parity::Even || settings.parity == Parity::Odd)
            bits.push_back((ones % 2 == 1) == (settings.parity == Parity::Even));
        else if (settings.parity != Parity::None)
            bits.push_back(settings.parity == Parity::Mark);
        for (int k = 0; k < stopBitCount(settings); ++k)
            bits.push_back(true);
    }
    return bits;
}

std::uint16_t withByte(std::uint16_t crc, std::uint8_t byte)
{
    crc ^= byte;
    for (int k = 0; k < 8; ++k)
        crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                             : static_cast<std::uint16_t>(crc >> 1);
    return crc;
}

} // namespace

Misheard misheard(std::span<const std::uint8_t> sent, const serial::CommSettings &sender,
                  const serial::CommSettings &receiver)
{
    const std::vector<bool> bits = lineBits(sent, sender);
    const double sentBit = 1e9 / sender.baudRate;    // nanoseconds
    const double heardBit = 1e9 / receiver.baudRate; // nanoseconds
    const auto levelAt = [&](double time) {
        const auto index = static_cast<long long>(time / sentBit);
        return index < 0 || index >= static_cast<long long>(bits.size()) ||
               bits[static_cast<std::size_t>(index)];
    };
    const int dataBits = receiver.dataBits;
    const int frameBits = 1 + dataBits + parityBits(receiver) + stopBitCount(receiver);

    Misheard heard;
    double from = 0; // the receiver looks for a start bit from here on
    for (std::size_t edge = 0;;) {
        // The first falling edge at or after from: a low bit after a high one (or after idle).
        edge = std::max(edge, static_cast<std::size_t>(std::ceil(from / sentBit)));
        while (edge < bits.size() && (bits[edge] || (edge > 0 && !bits[edge - 1])))
            ++edge;
        if (edge >= bits.size())
            break;
        const double start = static_cast<double>(edge) * sentBit;
        if (levelAt(start + heardBit / 2)) {
            from = start + heardBit / 2; // too short for a start bit
            ++edge;
            continue;
        }
        std::uint8_t value = 0;
        for (int k = 0; k < dataBits; ++k)
            if (levelAt(start + (1.5 + k) * heardBit))
                value = static_cast<std::uint8_t>(value | (1U << k));
        const double stopSample = start + (1.5 + dataBits + parityBits(receiver)) * heardBit;
        heard.bytes.push_back(levelAt(stopSample) ? value : 0);
        heard.ends.push_back(std::chrono::nanoseconds(
            static_cast<std::int64_t>(start + frameBits * heardBit + 0.5)));
        from = stopSample;
        ++edge;
    }
    return heard;
}

std::uint16_t modbusCrc(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes)
        crc = withByte(crc, byte);
    return crc;
}

void breakFrames(std::vector<std::uint8_t> &bytes)
{
    // A run [begin, end) is a frame when the CRC of all but its last two bytes is bytes[end - 2]
    // (low) and bytes[end - 1] (high). crcs holds, for every begin that a run ending at end can
    // have, oldest first, the CRC from begin up to end - 2.
    std::deque<std::uint16_t> crcs;
    for (std::size_t end = kShortestFrame; end <= bytes.size(); ++end) {
        for (std::uint16_t &crc : crcs)
            crc = withByte(crc, bytes[end - 3]);
        crcs.push_back(withByte(withByte(0xFFFF, bytes[end - 4]), bytes[end - 3]));
        if (crcs.size() > kLongestFrame - kShortestFrame + 1)
            crcs.pop_front();

        std::bitset<256> ruledOut; // values of the last byte that would end a frame
        for (const std::uint16_t crc : crcs)
            if ((crc & 0xFF) == bytes[end - 2])
                ruledOut.set(crc >> 8);
        std::uint8_t &last = bytes[end - 1];
        for (int step = 1; ruledOut.test(last); ++step)
            last = static_cast<std::uint8_t>(last + (step % 2 == 1 ? step : -step));
    }
}

} // namespace simulator
