#pragma once

#include "serial/commerror.h"
#include "serial/commsettings.h"

#include <QString>
#include <optional>

namespace serial
{

// Proves that a path names a terminal device that this process may open, without writing a
// byte to it: a regular file, directory, FIFO, socket or a character device that is no
// terminal (/dev/null) is refused before it is opened. While the probe lives it holds the
// device open, so that a port opened after the probe is not the device's last opener (closing
// the last opener hangs the line up).
class TerminalProbe
{
public:
    TerminalProbe() = default;
    TerminalProbe(const TerminalProbe &) = delete;
    TerminalProbe &operator=(const TerminalProbe &) = delete;
    ~TerminalProbe();

    // portLabel names the port in messages, for example "Com5". Returns NotATerminal,
    // PermissionDenied, PortInUse, NoSuchPort or OpenFailed with a message that says what to
    // do; none when the device is open and is a terminal.
    CommError open(const QString &portLabel, const QString &path);
    void close();

private:
    int m_fd = -1;
};

// Whether a character device number belongs to a terminal driver of a /proc/tty/drivers
// listing ("name  /dev/node  major  minor-or-range  type" per line).
bool isTerminalDeviceNumber(const QString &driversListing, unsigned major, unsigned minor);

// The speed and framing in force on an open terminal, as the kernel reports them; nothing
// when they cannot be read. Stop bits read as One or Two.
std::optional<CommSettings> lineInForce(int fd);

} // namespace serial
