#include "requestserver.h"

#include "console/stopsignals.h"
#include "slavedevice.h"
#include "terminalspeeds.h"
#include "wrongspeed.h"

#include "serial/linetiming.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>

namespace simulator
{

namespace
{

// Without a line speed a request ends at a silence of 3.5 characters at 9600 baud, rounded
// up.
constexpr std::chrono::milliseconds kUnpacedFrameGap{4};
// A burst longer than this is cut; the rest is read and dropped.
constexpr std::size_t kMaxBurst = 4096;
// How long queued bytes may wait for room in the port before they are dropped.
constexpr std::chrono::seconds kWriteTimeout{1};

[[noreturn]] void throwSystemError(int error, const char *what)
{
    throw std::system_error(error, std::generic_category(), what);
}

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string formatted(const char *format, auto... values)
{
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

} // namespace

RequestServer::RequestServer(const SlaveOptions &options, int master, SlaveDevice &device,
                             console::StopSignals &stop)
    : m_options(options), m_master(master), m_device(device), m_stop(stop), m_log(options.quiet),
      m_frameGap(options.line ? serial::frameGap(*options.line)
                              : std::chrono::nanoseconds(kUnpacedFrameGap)),
      m_replyWait(
          std::chrono::milliseconds(options.delayMs + (options.line ? options.turnaroundMs : 0))),
      m_output(Delivery{options.line, std::chrono::milliseconds(options.usbLatencyMs)})
{
    m_timer.reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    if (!m_timer.valid())
        throwSystemError(errno, "cannot create a timer");
}

int RequestServer::run()
{
    for (;;) {
        Clock::time_point now = Clock::now();
        finishFrameIfDue(now);
        if (m_blockedSince && now - *m_blockedSince >= kWriteTimeout) {
            m_blockedSince.reset();
            m_log.note(formatted("dropped %zu bytes for the master: nobody reads the port",
                                 m_output.clear()));
        }
        writeDue(now);
        armTimer(nextDeadline());

        std::array<pollfd, 3> entries{
            {{m_stop.fd(), POLLIN, 0},
             {m_master, static_cast<short>(POLLIN | (m_blockedSince ? POLLOUT : 0)), 0},
             {m_timer.get(), POLLIN, 0}}};
        if (::poll(entries.data(), entries.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError(errno, "poll failed");
        }
        if (entries[0].revents != 0) {
            if (const int signal = m_stop.take(); signal != 0)
                return signal;
        }
        if (entries[2].revents != 0) {
            std::uint64_t expirations = 0;
            [[maybe_unused]] const ssize_t got =
                ::read(m_timer.get(), &expirations, sizeof expirations);
            m_armed.reset();
        }
        // Bytes read now may have come after the silence that ended the request before them.
        now = Clock::now();
        finishFrameIfDue(now);
        if ((entries[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            readInput(now);
    }
}

void RequestServer::finishFrameIfDue(Clock::time_point now)
{
    if (!m_inbox.empty() && now >= m_lastArrival + m_frameGap)
        handleFrame(m_lastArrival + m_frameGap);
}

void RequestServer::handleFrame(Clock::time_point frameEnd)
{
    const std::vector<std::uint8_t> burst = std::move(m_inbox);
    m_inbox.clear();
    ++m_totals.requests;
    checkSpacing(m_firstArrival);
    m_log.bytes("request", burst);
    // A two-wire adapter hears the master's own request: it comes back whole, before any reply.
    if (m_options.echo)
        m_output.add({"echo   ", burst, false}, frameEnd, false);

    for (FrameResult &result : m_device.handle(burst)) {
        if (result.reply.empty()) {
            m_log.note(result.note);
            continue;
        }
        if (m_options.silent) {
            m_log.note("no reply: silent");
            continue;
        }
        const std::size_t built = result.reply.size();
        std::vector<std::uint8_t> sent = withFaults(std::move(result.reply));
        if (sent.empty()) {
            m_log.note(formatted("no reply: --short %d leaves nothing of the %zu-byte reply",
                                 m_options.shortBy, built));
            continue;
        }
        const Clock::time_point start = std::max(frameEnd, m_lineFree.value_or(frameEnd));
        m_lineFree = queueReply(std::move(sent), start + m_replyWait);
    }
}

// A master whose end is set to another speed than the line's gets what its UART makes of the
// reply: never a frame. Speeds close enough for the UART to take every byte right are the
// line's speed.
Clock::time_point RequestServer::queueReply(std::vector<std::uint8_t> reply,
                                            Clock::time_point start)
{
    const serial::CommSettings heardAs = atMasterSpeed(false);
    if (!m_options.line || heardAs == *m_options.line)
        return m_output.add({"reply  ", std::move(reply), true}, start, true);
    Misheard heard = misheard(reply, *m_options.line, heardAs);
    if (heard.bytes == reply)
        return m_output.add({"reply  ", std::move(reply), true}, start, true);
    breakFrames(heard.bytes);
    m_log.note(formatted("garbled: the master's end receives at %d baud, the line runs at %d",
                         heardAs.baudRate, m_options.line->baudRate));
    const std::chrono::nanoseconds length =
        serial::charactersTime(*m_options.line, static_cast<std::int64_t>(reply.size()));
    return m_output.add({"garbled", std::move(heard.bytes), true}, start, heard.ends, length);
}

// The line's framing at the speed the master's end is set to for sending or receiving; the
// line itself when the master's end has no speed. Only with a line speed.
serial::CommSettings RequestServer::atMasterSpeed(bool sending) const
{
    serial::CommSettings settings = m_options.line.value_or(serial::CommSettings{});
    if (const std::optional<TerminalSpeeds> speeds = terminalSpeeds(m_master);
        m_options.line && speeds)
        settings.baudRate = sending ? speeds->send : speeds->receive;
    return settings;
}

// A half-duplex line carries one sender at a time, and a request may only begin after the
// frame gap that ends the reply before it.
void RequestServer::checkSpacing(Clock::time_point arrival)
{
    if (!m_lineFree)
        return;
    if (arrival < *m_lineFree) {
        ++m_totals.collisions;
        m_log.alert(formatted("collision %llu: request %.2f ms before the reply ended on the line",
                              static_cast<unsigned long long>(m_totals.collisions),
                              milliseconds(*m_lineFree - arrival)));
    } else if (m_options.line && arrival < *m_lineFree + m_frameGap) {
        ++m_totals.shortGaps;
        m_log.alert(formatted("gap %llu: request %.2f ms after the reply ended; frame gap %.2f ms",
                              static_cast<unsigned long long>(m_totals.shortGaps),
                              milliseconds(arrival - *m_lineFree), milliseconds(m_frameGap)));
    }
}

// The CRC goes wrong first, then the end is cut; a cut of two bytes or more takes the whole
// CRC.
std::vector<std::uint8_t> RequestServer::withFaults(std::vector<std::uint8_t> reply)
{
    ++m_repliesBuilt;
    if (m_options.badCrcEvery > 0 && m_repliesBuilt % m_options.badCrcEvery == 0 &&
        reply.size() >= 2) {
        // Both CRC bytes inverted: wrong whichever of them a cut leaves.
        reply[reply.size() - 2] ^= 0xFF;
        reply[reply.size() - 1] ^= 0xFF;
    }
    const std::size_t cut = std::min(reply.size(), static_cast<std::size_t>(m_options.shortBy));
    reply.resize(reply.size() - cut);
    return reply;
}

// With a line speed, the bytes read are on the line from now, or from the end of the bytes
// before them if those are still arriving, one character after another at the speed the
// master's end sends at: the master wrote them into its UART, and the last of them reaches
// the slave their wire time later. The slave takes them as sent, whatever that speed.
void RequestServer::readInput(Clock::time_point now)
{
    std::array<std::uint8_t, 512> chunk{};
    for (;;) {
        const ssize_t got = ::read(m_master, chunk.data(), chunk.size());
        if (got > 0) {
            const Clock::time_point start = m_options.line ? std::max(now, m_inputLineEnd) : now;
            m_inputLineEnd =
                m_options.line ? start + serial::charactersTime(atMasterSpeed(true), got) : now;
            if (m_inbox.empty())
                m_firstArrival = start;
            m_lastArrival = m_inputLineEnd;
            const std::size_t keep =
                std::min(static_cast<std::size_t>(got), kMaxBurst - m_inbox.size());
            m_inbox.insert(m_inbox.end(), chunk.begin(), chunk.begin() + keep);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        throwSystemError(got == 0 ? EIO : errno, "reading the pseudo-terminal failed");
    }
}

void RequestServer::writeDue(Clock::time_point now)
{
    while (!m_output.empty() && m_output.front().due <= now) {
        OutputSchedule::Batch &batch = m_output.front();
        while (batch.written < batch.bytes.size()) {
            const ssize_t put = ::write(m_master, batch.bytes.data() + batch.written,
                                        batch.bytes.size() - batch.written);
            if (put > 0) {
                batch.written += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!m_blockedSince)
                    m_blockedSince = now;
                return;
            }
            throwSystemError(errno, "writing the pseudo-terminal failed");
        }
        m_blockedSince.reset();
        const Clock::time_point written = Clock::now();
        for (const OutgoingMessage &message : batch.finished) {
            m_log.bytes(message.what, message.bytes);
            if (!message.reply)
                continue;
            ++m_totals.replies;
            // A reply written late ended late for the master too: the next request is timed
            // from then, so that the simulator's own lateness is not counted against it.
            if (const Clock::duration late = written - batch.due; late > Clock::duration::zero())
                m_lineFree = std::max(m_lineFree.value_or(message.lineEnd), message.lineEnd + late);
        }
        m_output.pop();
    }
}

std::optional<Clock::time_point> RequestServer::nextDeadline() const
{
    std::optional<Clock::time_point> deadline;
    const auto consider = [&deadline](Clock::time_point candidate) {
        if (!deadline || candidate < *deadline)
            deadline = candidate;
    };
    if (!m_inbox.empty())
        consider(m_lastArrival + m_frameGap);
    if (m_blockedSince)
        consider(*m_blockedSince + kWriteTimeout);
    else if (!m_output.empty())
        consider(m_output.front().due);
    return deadline;
}

void RequestServer::armTimer(std::optional<Clock::time_point> deadline)
{
    if (deadline == m_armed)
        return;
    itimerspec setting{};
    if (deadline) {
        const auto nanoseconds =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline->time_since_epoch())
                .count();
        setting.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
        setting.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
        // A zero time would disarm the timer instead.
        if (setting.it_value.tv_sec == 0 && setting.it_value.tv_nsec == 0)
            setting.it_value.tv_nsec = 1;
    }
    if (::timerfd_settime(m_timer.get(), TFD_TIMER_ABSTIME, &setting, nullptr) != 0)
        throwSystemError(errno, "cannot set the timer");
    m_armed = deadline;
}

} // namespace simulator
