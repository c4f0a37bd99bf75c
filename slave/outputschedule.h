#pragma once

#include "serial/commsettings.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace simulator
{

using Clock = std::chrono::steady_clock;

// A message for the master, and the traffic line printed once its last byte is written.
struct OutgoingMessage {
    const char *what = "";           // the traffic line's label, such as "reply  "
    std::vector<std::uint8_t> bytes; // exactly the bytes sent
    bool reply = false;              // counted as a reply when sent
    Clock::time_point lineEnd{};     // when its last character ends on the line; set by add()
};

// How the bytes reach the master.
struct Delivery {
    // Unset: a message is on the line at once. Set: every character takes its bits at that
    // speed, and a byte is handed over when its last stop bit has ended.
    std::optional<serial::CommSettings> line;
    // 0: bytes are handed over as they come off the line. Otherwise they gather as in a USB
    // serial adapter: the latency timer starts with the first byte that finds the adapter
    // empty, and the gathered bytes go to the master when it expires or when
    // kUsbPacketBytes have gathered, whichever comes first.
    std::chrono::milliseconds usbLatency{0};
};

// Bytes of a USB packet from the adapter: 64 less the two status bytes.
inline constexpr std::size_t kUsbPacketBytes = 62;

// The bytes that wait to be written to the master, in batches that each fall due at one time.
// Batches are due in the order they were queued; every message's bytes stay together and in
// order.
class OutputSchedule
{
public:
    struct Batch {
        Clock::time_point due;
        Clock::time_point expiry; // of the USB latency timer
        std::vector<std::uint8_t> bytes;
        std::size_t written = 0;
        std::vector<OutgoingMessage> finished; // messages whose last byte is in this batch
    };

    explicit OutputSchedule(Delivery delivery) : m_delivery(std::move(delivery)) {}

    // Queues message. Its first character starts on the line at start, or when the last queued
    // character has ended if that is later. paced: its characters follow one another at the
    // line's speed; otherwise (and without a line speed) they are all on the line at once.
    // Returns when its last character has ended on the line. An empty message is not queued.
    Clock::time_point add(OutgoingMessage message, Clock::time_point start, bool paced);
    // Queues message with times of its own: byte k has ended on the line ends[k] after start
    // (ends ascending, one for each byte), and the message holds the line for length, or
    // until its last byte has ended if that is later. start moves as above. Returns when the
    // message leaves the line.
    Clock::time_point add(OutgoingMessage message, Clock::time_point start,
                          std::span<const std::chrono::nanoseconds> ends,
                          std::chrono::nanoseconds length);

    bool empty() const { return m_batches.empty(); }
    Batch &front() { return m_batches.front(); }
    const Batch &front() const { return m_batches.front(); }
    void pop() { m_batches.pop_front(); }
    // Drops every batch, and with them the time they held the line; the number of bytes that
    // were not written.
    std::size_t clear();

private:
    void place(std::uint8_t byte, Clock::time_point onLine);

    Delivery m_delivery;
    std::deque<Batch> m_batches;
    Clock::time_point m_lineEnd{};
};

} // namespace simulator
