#pragma once

#include <functional>
#include <linux/serial.h>

namespace serial
{

// Asks the driver of an open serial device to pass received bytes on at once (the flag
// ASYNC_LOW_LATENCY of TIOCSSERIAL; USB adapters with a latency timer set it to 1 ms), and
// puts the device's flags back as they were. The flag needs no privilege. The object never
// opens or closes the descriptor: restore() must run while the descriptor is still open,
// since a closed number may already name another file.
class LowLatency
{
public:
    // Reads (TIOCGSERIAL) or writes (TIOCSSERIAL) the serial settings of fd; returns 0 or
    // the errno value of the failure.
    using Control = std::function<int(int fd, unsigned long request, serial_struct &info)>;

    enum class Result {
        Granted,     // the flag was off and is now on; restore() turns it off again
        AlreadyOn,   // the flag was on before; restore() leaves it on
        Unsupported, // the driver has no such setting (a pseudo-terminal: ENOTTY) or refused it
    };

    // control replaces the ioctl calls; the default calls ioctl().
    explicit LowLatency(Control control = {});
    LowLatency(const LowLatency &) = delete;
    LowLatency &operator=(const LowLatency &) = delete;

    // Asks for low latency on fd, after a restore() of any earlier request. Changes nothing
    // unless the driver takes the flag.
    Result request(int fd);

    // Turns the flag off again when request() turned it on, keeping every other flag as the
    // driver holds it now. A failure (the device vanished) is ignored: nothing more can be
    // put back.
    void restore();

    // Whether restore() has a flag to put back.
    bool holding() const { return m_fd >= 0; }

private:
    Control m_control;
    int m_fd = -1;
};

} // namespace serial
