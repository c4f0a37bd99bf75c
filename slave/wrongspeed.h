#pragma once

#include "serial/commsettings.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace simulator
{

// What a UART receives from characters sent to it at another speed.
struct Misheard {
    std::vector<std::uint8_t> bytes;
    // When each byte is handed over (its character's last stop bit has ended at the
    // receiver's speed), counted from the start bit of the first character sent.
    std::vector<std::chrono::nanoseconds> ends;
};

// The characters of sent, back to back in the sender's framing and speed on an idle (high)
// line, as a UART with the receiver's framing and speed takes them: it waits for a falling
// edge, checks the start bit in its middle, samples every further bit in the middle of where
// it expects it, and hands over a character that lacks its stop bit as 00, as Linux does
// without PARMRK. Parity is not checked. With the same settings on both sides the result is
// sent unchanged.
Misheard misheard(std::span<const std::uint8_t> sent, const serial::CommSettings &sender,
                  const serial::CommSettings &receiver);

// Changes bytes so that no run of 4 to 256 of them, from any position, ends with its own
// right Modbus CRC (low byte first): what it holds can then never be taken for a frame. Only
// a run's last byte is ever changed, to the nearest value that ends no frame; one always
// exists, since each run ending at that byte rules out at most one value of it and at most
// 253 runs end there.
void breakFrames(std::vector<std::uint8_t> &bytes);

// The Modbus CRC-16 of bytes: polynomial A001 (reflected 8005), initial value FFFF.
std::uint16_t modbusCrc(std::span<const std::uint8_t> bytes);

} // namespace simulator
