#pragma once

#include "console/uniquefd.h"
#include "serial/commsettings.h"
#include "serial/lowlatency.h"

#include <QString>
#include <memory>

namespace sniff
{

// A serial device opened for listening only. The contract, which the monitor's user relies on
// when it hangs on a live bus:
// - The device is opened O_RDONLY (with O_NOCTTY and O_NONBLOCK): no write can reach the line.
// - No modem line is set or cleared: no TIOCMSET, TIOCMBIS, TIOCMBIC, TIOCSBRK or tcsendbreak.
//   HUPCL is cleared, so that closing does not drop DTR and RTS; CRTSCTS is cleared, so that the
//   driver does not move RTS for flow control; IXOFF is cleared, so that the driver never sends
//   XOFF when its buffer fills; CLOCAL is set, so that the open does not wait for carrier.
//   The one change the kernel makes by itself: the first open of a device that no other program
//   holds open raises DTR and RTS on Linux when the line speed is not 0, whatever the flags.
//   Where RTS drives an RS-485 transmitter, use an adapter with automatic direction control (or
//   a receive-only tap); a port that the master already holds open keeps its lines.
// - Nothing is read away from another program except what this one reads.
// - Low latency is asked for as the window asks for it, and given back when the port closes.
class ReadOnlyPort
{
public:
    // Opens devicePath with settings; on failure returns null and sets *error to a message that
    // names the device, the reason and a remedy.
    static std::unique_ptr<ReadOnlyPort> open(const QString &devicePath,
                                              const serial::CommSettings &settings, QString *error);
    ~ReadOnlyPort();
    ReadOnlyPort(const ReadOnlyPort &) = delete;
    ReadOnlyPort &operator=(const ReadOnlyPort &) = delete;

    int fd() const { return m_fd.get(); }
    const QString &devicePath() const { return m_devicePath; }
    serial::LowLatency::Result lowLatency() const { return m_lowLatencyResult; }

private:
    ReadOnlyPort(console::UniqueFd fd, QString devicePath);

    console::UniqueFd m_fd;
    QString m_devicePath;
    serial::LowLatency m_lowLatency;
    serial::LowLatency::Result m_lowLatencyResult = serial::LowLatency::Result::Unsupported;
};

} // namespace sniff
