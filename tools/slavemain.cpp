// wirelark-slave: a simulated Modbus RTU slave device on a pseudo-terminal. See helpText().

#include "comlink.h"
#include "pseudoterminal.h"
#include "slavedevice.h"
#include "slaveoptions.h"
#include "stopsignals.h"
#include "trafficlog.h"

#include "serial/systemports.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

using namespace simulator;

namespace
{

// A request ends at a silence of 3.5 characters at 9600 baud, rounded up.
constexpr int kFrameGapMs = 4;
// A burst longer than this is cut; the rest is read and dropped.
constexpr std::size_t kMaxBurst = 4096;
// How long a reply may wait for room in the port before it is dropped.
constexpr int kWriteTimeoutMs = 1000;

enum class Wait { Ready, TimedOut, Stopped };

// Waits until fd reports one of events, a stop signal arrives (its number goes to signal) or
// timeoutMs passes (-1: no limit). fd -1 waits for the signal or the time only.
Wait waitFor(int fd, short events, int timeoutMs, StopSignals &stop, int &signal)
{
    std::array<pollfd, 2> entries{{{stop.fd(), POLLIN, 0}, {fd, events, 0}}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    for (;;) {
        const int ready = ::poll(entries.data(), count, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            throw std::system_error(errno, std::generic_category(), "poll failed");
        if (ready == 0)
            return Wait::TimedOut;
        if (entries[0].revents != 0) {
            signal = stop.take();
            if (signal != 0)
                return Wait::Stopped;
            continue;
        }
        return Wait::Ready;
    }
}

// Waits for milliseconds on the monotonic clock; false when a stop signal came first.
bool sleepFor(int milliseconds, StopSignals &stop, int &signal)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = duration_cast<microseconds>(deadline - steady_clock::now()).count();
        if (left <= 0)
            return true;
        const int timeoutMs = static_cast<int>((left + 999) / 1000);
        if (waitFor(-1, 0, timeoutMs, stop, signal) == Wait::Stopped)
            return false;
    }
}

// Reads one burst from the master: every byte until the line has been silent for
// kFrameGapMs. Nothing when a stop signal came first.
std::optional<std::vector<std::uint8_t>> readBurst(int master, StopSignals &stop, int &signal)
{
    std::vector<std::uint8_t> burst;
    std::array<std::uint8_t, 512> chunk{};
    for (;;) {
        const ssize_t got = ::read(master, chunk.data(), chunk.size());
        if (got > 0) {
            const std::size_t keep =
                std::min(static_cast<std::size_t>(got), kMaxBurst - burst.size());
            burst.insert(burst.end(), chunk.begin(), chunk.begin() + keep);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            throw std::system_error(got == 0 ? EIO : errno, std::generic_category(),
                                    "reading the pseudo-terminal failed");
        switch (waitFor(master, POLLIN, kFrameGapMs, stop, signal)) {
        case Wait::Stopped:
            return std::nullopt;
        case Wait::TimedOut:
            return burst;
        case Wait::Ready:
            break;
        }
    }
}

enum class Sent { All, Dropped, Stopped };

Sent writeAll(int master, const std::vector<std::uint8_t> &bytes, StopSignals &stop, int &signal)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(master, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw std::system_error(errno, std::generic_category(),
                                    "writing the pseudo-terminal failed");
        switch (waitFor(master, POLLOUT, kWriteTimeoutMs, stop, signal)) {
        case Wait::Stopped:
            return Sent::Stopped;
        case Wait::TimedOut:
            return Sent::Dropped;
        case Wait::Ready:
            break;
        }
    }
    return Sent::All;
}

// The path with the home directory shown as "~".
std::string shownPath(const std::filesystem::path &path)
{
    const char *home = std::getenv("HOME");
    const std::string text = path.string();
    if (home == nullptr || *home == '\0')
        return text;
    std::string prefix = home;
    if (!prefix.ends_with('/'))
        prefix += '/';
    return text.starts_with(prefix) ? "~/" + text.substr(prefix.size()) : text;
}

std::string signalName(int signal)
{
    const char *abbreviation = ::sigabbrev_np(signal);
    return abbreviation != nullptr ? std::string("SIG") + abbreviation
                                   : "signal " + std::to_string(signal);
}

// Serves requests until a stop signal; returns that signal's number.
int serveRequests(const SlaveOptions &options, int master, SlaveDevice &device, StopSignals &stop)
{
    const TrafficLog log(options.quiet);
    int signal = 0;
    for (;;) {
        if (waitFor(master, POLLIN, -1, stop, signal) == Wait::Stopped)
            return signal;
        const std::optional<std::vector<std::uint8_t>> burst = readBurst(master, stop, signal);
        if (!burst)
            return signal;
        log.bytes("request", *burst);

        for (const FrameResult &result : device.handle(*burst)) {
            if (result.reply.empty()) {
                log.note(result.note);
                continue;
            }
            if (options.silent) {
                log.note("no reply: silent");
                continue;
            }
            if (options.delayMs > 0 && !sleepFor(options.delayMs, stop, signal))
                return signal;
            switch (writeAll(master, result.reply, stop, signal)) {
            case Sent::Stopped:
                return signal;
            case Sent::Dropped:
                log.note("reply dropped: nobody reads the port");
                break;
            case Sent::All:
                log.bytes("reply  ", result.reply);
                break;
            }
        }
    }
}

int serve(const SlaveOptions &options)
{
    StopSignals stop;
    PseudoTerminal terminal;

    std::set<int> numbersInUse;
    for (const serial::MappedPort &port : serial::scanSystemPorts())
        numbersInUse.insert(port.number);
    ComLink link(serial::portDirectory().toStdString(), options.port, terminal.devicePath(),
                 numbersInUse);
    SlaveDevice device(options.address);

    std::printf("Serving slave %d on %s, linked as Com%d (%s)\n", options.address,
                terminal.devicePath().c_str(), link.number(), shownPath(link.path()).c_str());

    const int signal = serveRequests(options, terminal.masterFd(), device, stop);

    const std::string shown = shownPath(link.path());
    if (link.remove())
        std::printf("Stopped by %s; removed %s\n", signalName(signal).c_str(), shown.c_str());
    else
        std::printf("Stopped by %s; left %s, which no longer points to %s\n",
                    signalName(signal).c_str(), shown.c_str(), terminal.devicePath().c_str());
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "wirelark-slave: %s\nTry \"wirelark-slave --help\".\n",
                     parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(helpText().c_str(), stdout);
        return EXIT_SUCCESS;
    }

    try {
        return serve(parsed.options);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "wirelark-slave: %s\n", error.what());
        return EXIT_FAILURE;
    }
}
