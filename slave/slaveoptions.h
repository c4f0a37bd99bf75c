#pragma once

#include "console/programoptions.h"
#include "serial/commsettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simulator
{

inline constexpr int kMinSlaveAddress = 1;
inline constexpr int kMaxSlaveAddress = 247;
// The longest --delay before a reply: a master that waits longer is no test case of ours.
inline constexpr int kMaxDelayMs = 60000;
inline constexpr int kMinSpeed = 50;
inline constexpr int kMaxSpeed = 4000000;
inline constexpr int kDefaultTurnaroundMs = 1;
inline constexpr int kMaxTurnaroundMs = 1000;
inline constexpr int kMaxUsbLatencyMs = 255;
inline constexpr int kMaxBadCrcEvery = 1000000;
inline constexpr int kMaxShortBy = 255;
inline constexpr int kMaxTcpPort = 65535;

// The command line of wirelark-slave.
struct SlaveOptions {
    std::optional<int> port; // unset: the lowest number that maps to no device
    int delayMs = 0;
    bool silent = false;
    bool quiet = false;

    // Wire time: set by --speed (and --settings, N,8,1 by default). Unset: no pacing, and a
    // request ends after a fixed silence.
    std::optional<serial::CommSettings> line;
    int turnaroundMs = kDefaultTurnaroundMs; // with line only
    int usbLatencyMs = 0;                    // 0: bytes are not held

    // Faults.
    int badCrcEvery = 0; // 0: every CRC is right
    std::optional<std::uint8_t> exception;
    int shortBy = 0; // bytes dropped from the end of each reply
    bool echo = false;

    // The bus. addresses: the slaves on the line, ascending, each once (--address 7,12,247 or
    // 5-7). gateway: every address 1 to 247 answers exception 0B, gateway target failed to
    // respond.
    std::vector<int> addresses{kMinSlaveAddress};
    bool gateway = false;

    // More ends. tap: where to link the tap's pseudo-terminal. tcpPort: serve RTU frames over
    // TCP on 127.0.0.1 at this port, 0 for one the system chooses. noPty: no pseudo-terminal,
    // TCP only.
    std::optional<std::string> tap;
    std::optional<int> tcpPort;
    bool noPty = false;
};

// The outcome of reading the command line, with the options when it is Run. Numbers are plain
// decimal, except the exception code, which may also be hexadecimal with "0x".
struct ParsedOptions : console::ParseOutcome {
    SlaveOptions options;
};

// Reads the arguments, program name first.
ParsedOptions parseOptions(const QStringList &arguments);

} // namespace simulator
