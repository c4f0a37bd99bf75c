#pragma once

namespace serial
{

// The modem control lines that the serial component drives on an open device. true asserts a
// line. Calls come only while the device is open.
class ModemLines
{
public:
    virtual ~ModemLines() = default;
    virtual void setDataTerminalReady(bool asserted) = 0;
    virtual void setRequestToSend(bool asserted) = 0;
};

} // namespace serial
