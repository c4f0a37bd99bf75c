#pragma once

#include <optional>

namespace simulator
{

// The speeds a terminal is set to, in bits per second.
struct TerminalSpeeds {
    int send = 0;
    int receive = 0;
};

// The speeds of the terminal behind fd, any speed the driver takes, not only the standard
// ones. On the master side of a pseudo-terminal they are the speeds that its device side was
// given, by the program that opened it as a serial port. nullopt when fd is no terminal.
std::optional<TerminalSpeeds> terminalSpeeds(int fd);

} // namespace simulator
