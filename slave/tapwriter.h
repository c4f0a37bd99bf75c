#pragma once

#include "comlink.h"
#include "outputschedule.h"
#include "pseudoterminal.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace simulator
{

// What the tap did with the bytes it was given.
struct TapTotals {
    std::uint64_t written = 0;
    std::uint64_t dropped = 0; // its reader fell behind and the tap's buffer was full
    std::uint64_t unheard = 0; // nobody had the tap open
};

// A second pseudo-terminal on which the bus shows as a passive tap hears it: every byte that
// went over the line, in order, each when its character has ended on the line, batched as by
// a USB serial adapter when the delivery says so. A reader set to another speed than the one
// a message went out at gets what its UART makes of it, never a frame.
//
// It never waits: bytes that do not fit into the tap are dropped and counted, and so are the
// bytes written while nobody has it open, which the system discards. Bytes that the reader
// writes into the tap are read and ignored.
class TapWriter
{
public:
    // Creates the pseudo-terminal and links it at link. Throws std::runtime_error when the
    // link cannot be made, std::system_error when the system refuses the pseudo-terminal.
    TapWriter(const std::filesystem::path &link, Delivery delivery);

    // Bytes that went over the line back to back, the first character starting at start.
    // sentAs: the speed and framing they went out at; unset without a line speed, when they
    // are all on the line at once.
    void carry(std::span<const std::uint8_t> bytes, Clock::time_point start,
               const std::optional<serial::CommSettings> &sentAs);

    // Writes what has fallen due by now.
    void writeDue(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;

    const std::string &devicePath() const { return m_terminal.devicePath(); }
    const std::filesystem::path &linkPath() const { return m_link.path(); }
    // Removes the link, as ComLink::remove does.
    bool removeLink() { return m_link.remove(); }
    const TapTotals &totals() const { return m_totals; }

private:
    bool readerPresent() const;

    PseudoTerminal m_terminal{PseudoTerminal::Device::NotHeld};
    ComLink m_link;
    OutputSchedule m_output;
    TapTotals m_totals;
};

} // namespace simulator
