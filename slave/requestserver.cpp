#include "requestserver.h"

#include "console/stopsignals.h"
#include "slavedevice.h"
#include "tapwriter.h"
#include "tcplistener.h"
#include "terminalspeeds.h"
#include "wrongspeed.h"

#include "serial/linetiming.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>
#include <utility>

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

RequestServer::RequestServer(const SlaveOptions &options, SlaveDevice &device,
                             console::StopSignals &stop, ServerEnds ends)
    : m_options(options), m_device(device), m_stop(stop), m_listener(ends.tcp), m_tap(ends.tap),
      m_log(options.quiet), m_frameGap(options.line ? serial::frameGap(*options.line)
                                                    : std::chrono::nanoseconds(kUnpacedFrameGap)),
      m_replyWait(
          std::chrono::milliseconds(options.delayMs + (options.line ? options.turnaroundMs : 0)))
{
    m_timer.reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    if (!m_timer.valid())
        throwSystemError(errno, "cannot create a timer");
    const Delivery delivery{options.line, std::chrono::milliseconds(options.usbLatencyMs)};
    if (ends.pseudoTerminal >= 0) {
        m_terminalPort.emplace("the master", false, delivery);
        m_terminalPort->fd = ends.pseudoTerminal;
        m_ports.push_back(&*m_terminalPort);
    }
    if (m_listener != nullptr) {
        m_tcpPort.emplace("the TCP client", true, delivery);
        m_ports.push_back(&*m_tcpPort);
    }
}

int RequestServer::run()
{
    for (;;) {
        Clock::time_point now = Clock::now();
        for (MasterPort *port : m_ports) {
            finishFrameIfDue(*port, now);
            if (port->blockedSince && now - *port->blockedSince >= kWriteTimeout) {
                port->blockedSince.reset();
                m_log.note(formatted("dropped %zu bytes for %s: nobody reads them",
                                     port->output.clear(), port->name.c_str()));
            }
            writeDue(*port, now);
            // A client that has sent its last request leaves once it has every reply.
            if (port->socket && port->fd >= 0 && port->inputEnded && port->inbox.empty() &&
                port->output.empty())
                disconnect(*port, "left");
        }
        if (m_tap != nullptr)
            m_tap->writeDue(now);
        armTimer(nextDeadline());

        std::vector<pollfd> entries{{m_stop.fd(), POLLIN, 0}, {m_timer.get(), POLLIN, 0}};
        std::vector<MasterPort *> polled;
        for (MasterPort *port : m_ports) {
            if (port->fd < 0)
                continue;
            entries.push_back({port->fd,
                               static_cast<short>((port->inputEnded ? 0 : POLLIN) |
                                                  (port->blockedSince ? POLLOUT : 0)),
                               0});
            polled.push_back(port);
        }
        const bool listening = m_listener != nullptr && !m_next.valid();
        if (listening)
            entries.push_back({m_listener->fd(), POLLIN, 0});
        if (::poll(entries.data(), entries.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError(errno, "poll failed");
        }
        if (entries[0].revents != 0) {
            if (const int signal = m_stop.take(); signal != 0)
                return signal;
        }
        if (entries[1].revents != 0) {
            std::uint64_t expirations = 0;
            [[maybe_unused]] const ssize_t got =
                ::read(m_timer.get(), &expirations, sizeof expirations);
            m_armed.reset();
        }
        // Bytes read now may have come after the silence that ended the request before them.
        now = Clock::now();
        for (std::size_t k = 0; k < polled.size(); ++k) {
            MasterPort &port = *polled[k];
            finishFrameIfDue(port, now);
            const short events = entries[2 + k].revents;
            if (port.fd >= 0 && port.inputEnded && (events & (POLLHUP | POLLERR)) != 0)
                disconnect(port, "left");
            else if (port.fd >= 0 && (events & (POLLIN | POLLHUP | POLLERR)) != 0)
                readInput(port, now);
        }
        if (listening && entries.back().revents != 0)
            acceptClient();
    }
}

void RequestServer::finishFrameIfDue(MasterPort &port, Clock::time_point now)
{
    if (!port.inbox.empty() && now >= port.lastArrival + m_frameGap)
        handleFrame(port, port.lastArrival + m_frameGap);
}

void RequestServer::handleFrame(MasterPort &port, Clock::time_point frameEnd)
{
    const std::vector<std::uint8_t> burst = std::move(port.inbox);
    port.inbox.clear();
    ++m_totals.requests;
    checkSpacing(port, port.firstArrival);
    m_log.bytes("request", burst);
    if (port.cut > 0)
        m_log.note(formatted("cut: %zu more bytes of this burst dropped, past the first %zu",
                             std::exchange(port.cut, 0), kMaxBurst));
    // A two-wire adapter hears the master's own request: it comes back whole, before any reply.
    if (m_options.echo)
        port.output.add({"echo   ", burst, false}, frameEnd, false);

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
        const Clock::time_point start =
            std::max(frameEnd, port.lineFree.value_or(frameEnd)) + m_replyWait;
        if (m_tap != nullptr)
            m_tap->carry(sent, start, m_options.line);
        port.lineFree = queueReply(port, std::move(sent), start);
    }
}

// A half-duplex line carries one sender at a time, and a request may only begin after the
// frame gap that ends the reply before it.
void RequestServer::checkSpacing(const MasterPort &port, Clock::time_point arrival)
{
    if (!port.lineFree)
        return;
    if (arrival < *port.lineFree) {
        ++m_totals.collisions;
        m_log.alert(formatted("collision %llu: request %.2f ms before the reply ended on the line",
                              static_cast<unsigned long long>(m_totals.collisions),
                              milliseconds(*port.lineFree - arrival)));
    } else if (m_options.line && arrival < *port.lineFree + m_frameGap) {
        ++m_totals.shortGaps;
        m_log.alert(formatted("gap %llu: request %.2f ms after the reply ended; frame gap %.2f ms",
                              static_cast<unsigned long long>(m_totals.shortGaps),
                              milliseconds(arrival - *port.lineFree), milliseconds(m_frameGap)));
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

// A master whose end is set to another speed than the line's gets what its UART makes of the
// reply: never a frame. Speeds close enough for the UART to take every byte right are the
// line's speed.
Clock::time_point RequestServer::queueReply(MasterPort &port, std::vector<std::uint8_t> reply,
                                            Clock::time_point start)
{
    const serial::CommSettings heardAs = atMasterSpeed(port, false);
    if (!m_options.line || heardAs == *m_options.line)
        return port.output.add({"reply  ", std::move(reply), true}, start, true);
    Misheard heard = misheard(reply, *m_options.line, heardAs);
    if (heard.bytes == reply)
        return port.output.add({"reply  ", std::move(reply), true}, start, true);
    breakFrames(heard.bytes);
    m_log.note(formatted("garbled: the master receives at %d baud, the line runs at %d",
                         heardAs.baudRate, m_options.line->baudRate));
    const std::chrono::nanoseconds length =
        serial::charactersTime(*m_options.line, static_cast<std::int64_t>(reply.size()));
    return port.output.add({"garbled", std::move(heard.bytes), true}, start, heard.ends, length);
}

// The line's framing at the speed the master's end is set to for sending or receiving; the
// line itself when the master's end has no speed (a TCP connection). Only with a line speed.
serial::CommSettings RequestServer::atMasterSpeed(const MasterPort &port, bool sending) const
{
    serial::CommSettings settings = m_options.line.value_or(serial::CommSettings{});
    if (!m_options.line || port.socket)
        return settings;
    if (const std::optional<TerminalSpeeds> speeds = terminalSpeeds(port.fd))
        settings.baudRate = sending ? speeds->send : speeds->receive;
    return settings;
}

void RequestServer::readInput(MasterPort &port, Clock::time_point now)
{
    std::array<std::uint8_t, 512> chunk{};
    for (;;) {
        const ssize_t got = ::read(port.fd, chunk.data(), chunk.size());
        if (got > 0) {
            take(port, std::span(chunk.data(), static_cast<std::size_t>(got)), now);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // The client may have closed only its sending side, as socat does at the end of its
        // input: what it sent is still a request, and its replies still go out.
        if (port.socket && got == 0) {
            port.inputEnded = true;
            return;
        }
        if (port.socket) {
            disconnect(port, std::string("failed: ") + std::strerror(errno));
            return;
        }
        throwSystemError(got == 0 ? EIO : errno, "reading the pseudo-terminal failed");
    }
}

// With a line speed, the bytes read are on the line from now, or from the end of the bytes
// before them if those are still arriving, one character after another at the speed the
// master's end sends at: the master wrote them into its UART, and the last of them reaches
// the slave their wire time later. The slave takes them as sent, whatever that speed.
void RequestServer::take(MasterPort &port, std::span<const std::uint8_t> bytes,
                         Clock::time_point now)
{
    const std::optional<serial::CommSettings> sentAs =
        m_options.line ? std::optional(atMasterSpeed(port, true)) : std::nullopt;
    const Clock::time_point start = sentAs ? std::max(now, port.inputLineEnd) : now;
    port.inputLineEnd =
        sentAs ? start + serial::charactersTime(*sentAs, static_cast<std::int64_t>(bytes.size()))
               : now;
    if (port.inbox.empty())
        port.firstArrival = start;
    port.lastArrival = port.inputLineEnd;
    const std::size_t keep = std::min(bytes.size(), kMaxBurst - port.inbox.size());
    port.inbox.insert(port.inbox.end(), bytes.begin(), bytes.begin() + keep);
    port.cut += bytes.size() - keep;
    if (m_tap != nullptr)
        m_tap->carry(bytes, start, sentAs);
}

void RequestServer::writeDue(MasterPort &port, Clock::time_point now)
{
    while (port.fd >= 0 && !port.output.empty() && port.output.front().due <= now) {
        OutputSchedule::Batch &batch = port.output.front();
        while (batch.written < batch.bytes.size()) {
            const std::uint8_t *data = batch.bytes.data() + batch.written;
            const std::size_t size = batch.bytes.size() - batch.written;
            const ssize_t put = port.socket ? ::send(port.fd, data, size, MSG_NOSIGNAL)
                                            : ::write(port.fd, data, size);
            if (put > 0) {
                batch.written += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!port.blockedSince)
                    port.blockedSince = now;
                return;
            }
            if (port.socket) {
                disconnect(port, std::string("failed: ") + std::strerror(errno));
                return;
            }
            throwSystemError(errno, "writing the pseudo-terminal failed");
        }
        port.blockedSince.reset();
        const Clock::time_point written = Clock::now();
        for (const OutgoingMessage &message : batch.finished) {
            m_log.bytes(message.what, message.bytes);
            if (!message.reply)
                continue;
            ++m_totals.replies;
            // A reply written late ended late for the master too: the next request is timed
            // from then, so that the simulator's own lateness is not counted against it.
            if (const Clock::duration late = written - batch.due; late > Clock::duration::zero())
                port.lineFree =
                    std::max(port.lineFree.value_or(message.lineEnd), message.lineEnd + late);
        }
        port.output.pop();
    }
}

// One client at a time: a second one is closed at once, and sees the connection end before
// any byte. A client that has sent its last byte is not in the way: the next one waits until
// it has its replies. What the client sent is read first, its last byte among it.
void RequestServer::acceptClient()
{
    for (;;) {
        std::string peer;
        console::UniqueFd client = m_listener->accept(peer);
        if (!client.valid())
            return;
        if (m_client.valid() && !m_tcpPort->inputEnded)
            readInput(*m_tcpPort, Clock::now());
        if (!m_client.valid()) {
            takeClient(std::move(client), peer);
        } else if (m_tcpPort->inputEnded) {
            m_next = std::move(client);
            m_nextPeer = peer;
            return;
        } else {
            ++m_totals.refused;
            m_log.alert("TCP client " + peer + " refused: one client at a time, and " +
                        m_tcpPort->name + " is connected");
        }
    }
}

void RequestServer::takeClient(console::UniqueFd client, const std::string &peer)
{
    ++m_totals.clients;
    m_client = std::move(client);
    m_tcpPort->name = "TCP client " + peer;
    m_tcpPort->fd = m_client.get();
    m_tcpPort->inputEnded = false;
    m_log.note(m_tcpPort->name + " connected");
}

// A client that leaves takes its line with it: a request half received and bytes not yet
// sent to it are dropped, and said so. A client waiting for it comes next.
void RequestServer::disconnect(MasterPort &port, const std::string &why)
{
    if (!port.inbox.empty())
        m_log.note(formatted("dropped %zu bytes of a request: %s left in the middle of it",
                             port.inbox.size() + std::exchange(port.cut, 0), port.name.c_str()));
    if (const std::size_t unsent = port.output.clear(); unsent > 0)
        m_log.note(formatted("dropped %zu bytes for %s, which left", unsent, port.name.c_str()));
    m_log.note(port.name + " " + why);
    port.inbox.clear();
    port.inputLineEnd = {}; // the next client's line starts afresh
    port.lineFree.reset();
    port.blockedSince.reset();
    port.fd = -1;
    m_client.reset();
    if (m_next.valid())
        takeClient(std::move(m_next), m_nextPeer);
}

std::optional<Clock::time_point> RequestServer::nextDeadline() const
{
    std::optional<Clock::time_point> deadline;
    const auto consider = [&deadline](std::optional<Clock::time_point> candidate) {
        if (candidate && (!deadline || *candidate < *deadline))
            deadline = candidate;
    };
    for (const MasterPort *port : m_ports) {
        if (!port->inbox.empty())
            consider(port->lastArrival + m_frameGap);
        if (port->blockedSince)
            consider(*port->blockedSince + kWriteTimeout);
        else if (!port->output.empty())
            consider(port->output.front().due);
    }
    if (m_tap != nullptr)
        consider(m_tap->nextDue());
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
