#pragma once

namespace serial
{

// RS-485 direction control left to the driver: RTS raised while the driver sends, the delays
// in milliseconds before the first character and after the last one.
struct Rs485Mode {
    int rtsBeforeMs = 0;
    int rtsAfterMs = 0;
};

// The modem control lines that the serial component drives on an open device, and the driver's
// RS-485 mode. true asserts a line. Calls come only while the device is open.
class ModemLines
{
public:
    virtual ~ModemLines() = default;
    virtual void setDataTerminalReady(bool asserted) = 0;
    virtual void setRequestToSend(bool asserted) = 0;
    // Asks the driver for RS-485 mode (TIOCSRS485: enabled, RTS on while sending, off after),
    // keeping the mode it had for restoreRs485(); 0, or the errno value of the refusal (ENOTTY
    // or EINVAL from a driver without the mode, a pseudo-terminal).
    virtual int enableRs485(const Rs485Mode &mode) = 0;
    // Gives the driver back the mode that the last successful enableRs485() found; nothing
    // when none is held. A failure (the device vanished) is ignored.
    virtual void restoreRs485() = 0;
};

} // namespace serial
