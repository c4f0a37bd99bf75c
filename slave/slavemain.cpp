// wirelark-slave: a simulated Modbus RTU slave device on a pseudo-terminal. See the help text
// in slaveoptions.cpp and packaging/wirelark-slave.1.

#include "comlink.h"
#include "console/stopsignals.h"
#include "pseudoterminal.h"
#include "requestserver.h"
#include "slavedevice.h"
#include "slaveoptions.h"
#include "tapwriter.h"
#include "tcplistener.h"

#include "serial/linetiming.h"
#include "serial/systemports.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <optional>
#include <set>
#include <string>

using namespace simulator;

namespace
{

// The exception of a gateway whose target does not answer.
constexpr std::uint8_t kGatewayTargetFailed = 0x0B;

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

// The line that states the wire time, when the options ask for it; empty otherwise.
std::string timingLine(const SlaveOptions &options)
{
    std::string text;
    char part[200];
    if (options.line) {
        const serial::CommSettings &line = *options.line;
        const auto ms = [](std::chrono::nanoseconds time) {
            return std::chrono::duration<double, std::milli>(time).count();
        };
        std::snprintf(part, sizeof part,
                      "Line %s: %g bits a character, %.3f ms each; a request ends after %.3f ms "
                      "of silence, the reply starts %d ms later",
                      serial::settingsText(line).toStdString().c_str(),
                      serial::bitsPerCharacter(line), ms(serial::charactersTime(line, 1)),
                      ms(serial::frameGap(line)), options.turnaroundMs + options.delayMs);
        text += part;
    }
    if (options.usbLatencyMs > 0) {
        std::snprintf(part, sizeof part,
                      "%sUSB latency %d ms: bytes reach the master in packets of up to %zu",
                      text.empty() ? "" : "; ", options.usbLatencyMs, kUsbPacketBytes);
        text += part;
    }
    return text;
}

// "slave 1", "slaves 5-7, 12", or what the gateway answers.
std::string slavesText(const SlaveOptions &options)
{
    if (options.gateway)
        return "a gateway (exception 0B for every slave 1-247)";
    const std::vector<int> &addresses = options.addresses;
    std::string text = addresses.size() == 1 ? "slave " : "slaves ";
    for (std::size_t k = 0; k < addresses.size();) {
        std::size_t last = k;
        while (last + 1 < addresses.size() && addresses[last + 1] == addresses[last] + 1)
            ++last;
        text += (k == 0 ? "" : ", ") + std::to_string(addresses[k]);
        if (last > k)
            text += "-" + std::to_string(addresses[last]);
        k = last + 1;
    }
    return text;
}

int serve(const SlaveOptions &options)
{
    console::StopSignals stop;
    std::optional<PseudoTerminal> terminal;
    std::optional<ComLink> link;
    if (!options.noPty) {
        terminal.emplace();
        std::set<int> numbersInUse;
        for (const serial::MappedPort &port : serial::scanSystemPorts())
            numbersInUse.insert(port.number);
        link.emplace(serial::portDirectory().toStdString(), options.port, terminal->devicePath(),
                     numbersInUse);
    }
    std::optional<TcpListener> listener;
    if (options.tcpPort)
        listener.emplace(*options.tcpPort);
    std::optional<TapWriter> tap;
    if (options.tap)
        tap.emplace(*options.tap,
                    Delivery{options.line, std::chrono::milliseconds(options.usbLatencyMs)});

    std::vector<int> everyAddress(kMaxSlaveAddress);
    std::iota(everyAddress.begin(), everyAddress.end(), kMinSlaveAddress);
    SlaveDevice device(options.gateway ? everyAddress : options.addresses,
                       options.gateway ? std::optional<std::uint8_t>(kGatewayTargetFailed)
                                       : options.exception);
    RequestServer server(options, device, stop,
                         {terminal ? terminal->masterFd() : -1, listener ? &*listener : nullptr,
                          tap ? &*tap : nullptr});

    const std::string slaves = slavesText(options);
    if (terminal)
        std::printf("Serving %s on %s, linked as Com%d (%s)\n", slaves.c_str(),
                    terminal->devicePath().c_str(), link->number(),
                    shownPath(link->path()).c_str());
    if (listener)
        std::printf("Serving %s on 127.0.0.1:%d, RTU over TCP, one client at a time\n",
                    slaves.c_str(), listener->port());
    if (tap)
        std::printf("Tap on %s, linked as %s\n", tap->devicePath().c_str(),
                    shownPath(tap->linkPath()).c_str());
    if (const std::string timing = timingLine(options); !timing.empty())
        std::printf("%s\n", timing.c_str());

    const int signal = server.run();

    const Totals &totals = server.totals();
    std::printf("Totals: requests %llu, replies %llu, collisions %llu, short gaps %llu\n",
                static_cast<unsigned long long>(totals.requests),
                static_cast<unsigned long long>(totals.replies),
                static_cast<unsigned long long>(totals.collisions),
                static_cast<unsigned long long>(totals.shortGaps));
    if (listener)
        std::printf("TCP: clients %llu, refused %llu (one at a time)\n",
                    static_cast<unsigned long long>(totals.clients),
                    static_cast<unsigned long long>(totals.refused));
    if (tap) {
        const TapTotals &heard = tap->totals();
        std::printf("Tap: written %llu bytes, dropped %llu (its reader fell behind), lost %llu "
                    "(nobody had it open)\n",
                    static_cast<unsigned long long>(heard.written),
                    static_cast<unsigned long long>(heard.dropped),
                    static_cast<unsigned long long>(heard.unheard));
        const std::string shown = shownPath(tap->linkPath());
        if (!tap->removeLink())
            std::printf("Left %s, which no longer points to %s\n", shown.c_str(),
                        tap->devicePath().c_str());
    }

    const std::string name = signalName(signal);
    if (!link) {
        std::printf("Stopped by %s\n", name.c_str());
    } else if (const std::string shown = shownPath(link->path()); link->remove()) {
        std::printf("Stopped by %s; removed %s\n", name.c_str(), shown.c_str());
    } else {
        std::printf("Stopped by %s; left %s, which no longer points to %s\n", name.c_str(),
                    shown.c_str(), terminal->devicePath().c_str());
    }
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParsedOptions parsed = parseOptions(arguments);
    if (parsed.action != ParsedOptions::Action::Run)
        return console::finish(parsed);

    try {
        return serve(parsed.options);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "wirelark-slave: %s\n", error.what());
        return EXIT_FAILURE;
    }
}
