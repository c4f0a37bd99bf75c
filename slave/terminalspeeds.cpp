#include "terminalspeeds.h"

// termios2 carries the speeds as numbers; this header's termios clashes with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace simulator
{

std::optional<TerminalSpeeds> terminalSpeeds(int fd)
{
    termios2 settings{};
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return std::nullopt;
    const int send = static_cast<int>(settings.c_ospeed);
    // An input speed of 0 means the output speed.
    const int receive = settings.c_ispeed != 0 ? static_cast<int>(settings.c_ispeed) : send;
    return TerminalSpeeds{send, receive};
}

} // namespace simulator
