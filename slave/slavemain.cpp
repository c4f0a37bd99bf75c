// wirelark-slave: a simulated Modbus RTU slave device on a pseudo-terminal. See the help text
// in slaveoptions.cpp and packaging/wirelark-slave.1.

#include "comlink.h"
#include "console/stopsignals.h"
#include "pseudoterminal.h"
#include "requestserver.h"
#include "slavedevice.h"
#include "slaveoptions.h"

#include "serial/linetiming.h"
#include "serial/systemports.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

using namespace simulator;

namespace
{

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

int serve(const SlaveOptions &options)
{
    console::StopSignals stop;
    PseudoTerminal terminal;

    std::set<int> numbersInUse;
    for (const serial::MappedPort &port : serial::scanSystemPorts())
        numbersInUse.insert(port.number);
    ComLink link(serial::portDirectory().toStdString(), options.port, terminal.devicePath(),
                 numbersInUse);
    SlaveDevice device(options.address, options.exception);
    RequestServer server(options, terminal.masterFd(), device, stop);

    std::printf("Serving slave %d on %s, linked as Com%d (%s)\n", options.address,
                terminal.devicePath().c_str(), link.number(), shownPath(link.path()).c_str());

    if (const std::string timing = timingLine(options); !timing.empty())
        std::printf("%s\n", timing.c_str());

    const int signal = server.run();

    const Totals &totals = server.totals();
    std::printf("Totals: requests %llu, replies %llu, collisions %llu, short gaps %llu\n",
                static_cast<unsigned long long>(totals.requests),
                static_cast<unsigned long long>(totals.replies),
                static_cast<unsigned long long>(totals.collisions),
                static_cast<unsigned long long>(totals.shortGaps));

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
