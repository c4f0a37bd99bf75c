#pragma once

#include <optional>
#include <string>
#include <vector>

namespace simulator
{

inline constexpr int kMinPortNumber = 1;
inline constexpr int kMaxPortNumber = 32767; // port numbers are 16-bit
inline constexpr int kMinSlaveAddress = 1;
inline constexpr int kMaxSlaveAddress = 247;
inline constexpr int kMaxDelayMs = 60000;

// The command line of wirelark-slave.
struct SlaveOptions {
    std::optional<int> port; // unset: the lowest number that maps to no device
    int address = 1;
    int delayMs = 0;
    bool silent = false;
    bool quiet = false;
    bool help = false;
};

// The options, or an error text for a wrong command line. Values follow the option as the
// next argument or after "=" ("--port 5", "--port=5"); numbers are plain decimal.
struct ParsedOptions {
    SlaveOptions options;
    std::string error; // empty when the command line is right
};

ParsedOptions parseOptions(const std::vector<std::string> &arguments);

// The text that --help prints.
std::string helpText();

} // namespace simulator
