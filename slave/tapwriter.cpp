#include "tapwriter.h"

#include "terminalspeeds.h"
#include "wrongspeed.h"

#include "serial/linetiming.h"

#include <array>
#include <cerrno>
#include <poll.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace simulator
{

TapWriter::TapWriter(const std::filesystem::path &link, Delivery delivery)
    : m_link(link, m_terminal.devicePath(), "--tap"), m_output(std::move(delivery))
{
}

void TapWriter::carry(std::span<const std::uint8_t> bytes, Clock::time_point start,
                      const std::optional<serial::CommSettings> &sentAs)
{
    if (bytes.empty())
        return;
    const std::vector<std::uint8_t> sent(bytes.begin(), bytes.end());
    if (!sentAs) {
        m_output.add({"tap", sent, false}, start, false);
        return;
    }
    serial::CommSettings heardAs = *sentAs;
    if (const std::optional<TerminalSpeeds> speeds = terminalSpeeds(m_terminal.masterFd()))
        heardAs.baudRate = speeds->receive;

    Misheard heard = misheard(sent, *sentAs, heardAs);
    if (heard.bytes != sent)
        breakFrames(heard.bytes);
    m_output.add({"tap", std::move(heard.bytes), false}, start, heard.ends,
                 serial::charactersTime(*sentAs, static_cast<std::int64_t>(sent.size())));
}

// The master side of a pseudo-terminal reports a hang-up while nobody has its device open.
bool TapWriter::readerPresent() const
{
    pollfd entry{m_terminal.masterFd(), POLLOUT, 0};
    return ::poll(&entry, 1, 0) >= 0 && (entry.revents & POLLHUP) == 0;
}

void TapWriter::writeDue(Clock::time_point now)
{
    if (m_output.empty() || m_output.front().due > now)
        return;
    std::array<std::uint8_t, 256> ignored{};
    while (::read(m_terminal.masterFd(), ignored.data(), ignored.size()) > 0) {
    }
    const bool present = readerPresent();
    while (!m_output.empty() && m_output.front().due <= now) {
        const OutputSchedule::Batch &batch = m_output.front();
        std::size_t written = 0;
        while (present && written < batch.bytes.size()) {
            const ssize_t put = ::write(m_terminal.masterFd(), batch.bytes.data() + written,
                                        batch.bytes.size() - written);
            if (put > 0)
                written += static_cast<std::size_t>(put);
            else if (put < 0 && errno == EINTR)
                continue;
            else if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO))
                break;
            else
                throw std::system_error(errno, std::generic_category(), "writing the tap failed");
        }
        m_totals.written += written;
        (present ? m_totals.dropped : m_totals.unheard) += batch.bytes.size() - written;
        m_output.pop();
    }
}

std::optional<Clock::time_point> TapWriter::nextDue() const
{
    if (m_output.empty())
        return std::nullopt;
    return m_output.front().due;
}

} // namespace simulator
