#include "outputschedule.h"

#include "serial/linetiming.h"

#include <algorithm>

namespace simulator
{

Clock::time_point OutputSchedule::add(OutgoingMessage message, Clock::time_point start, bool paced)
{
    const bool timed = paced && m_delivery.line.has_value();
    std::vector<std::chrono::nanoseconds> ends(message.bytes.size());
    for (std::size_t k = 0; timed && k < ends.size(); ++k)
        ends[k] = serial::charactersTime(*m_delivery.line, static_cast<std::int64_t>(k + 1));
    return add(std::move(message), start, ends,
               ends.empty() ? std::chrono::nanoseconds() : ends.back());
}

Clock::time_point OutputSchedule::add(OutgoingMessage message, Clock::time_point start,
                                      std::span<const std::chrono::nanoseconds> ends,
                                      std::chrono::nanoseconds length)
{
    start = std::max(start, m_lineEnd);
    if (message.bytes.empty())
        return start;
    for (std::size_t k = 0; k < message.bytes.size(); ++k)
        place(message.bytes[k], start + ends[k]);
    m_lineEnd = start + std::max(length, ends.back());
    message.lineEnd = m_lineEnd;
    m_batches.back().finished.push_back(std::move(message));
    return m_lineEnd;
}

void OutputSchedule::place(std::uint8_t byte, Clock::time_point onLine)
{
    Batch *last = m_batches.empty() || m_batches.back().written > 0 ? nullptr : &m_batches.back();
    if (m_delivery.usbLatency.count() == 0) {
        if (last == nullptr || last->due != onLine) {
            m_batches.push_back({onLine, onLine, {}, 0, {}});
            last = &m_batches.back();
        }
        last->bytes.push_back(byte);
        return;
    }
    if (last == nullptr || last->bytes.size() >= kUsbPacketBytes || onLine >= last->expiry) {
        const Clock::time_point expiry = onLine + m_delivery.usbLatency;
        m_batches.push_back({expiry, expiry, {}, 0, {}});
        last = &m_batches.back();
    }
    last->bytes.push_back(byte);
    if (last->bytes.size() == kUsbPacketBytes)
        last->due = onLine;
}

std::size_t OutputSchedule::clear()
{
    std::size_t dropped = 0;
    for (const Batch &batch : m_batches)
        dropped += batch.bytes.size() - batch.written;
    m_batches.clear();
    m_lineEnd = {};
    return dropped;
}

} // namespace simulator
