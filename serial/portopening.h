#pragma once

#include "serial/commerror.h"
#include "serial/serialcomm.h"

#include <QString>
#include <optional>

namespace serial
{

// The port number of a port text: every "Com" (exact case) removed, the rest read as a 16-bit
// decimal number, blanks around it allowed. "Com3" gives 3 and "12" gives 12; "COM3", "com3"
// and "" give nothing.
std::optional<qint16> portNumberOfText(const QString &text);

// The far end of a TCP connection that carries RTU frames.
struct TcpEndpoint {
    QString host;
    quint16 port = 0;
};

// Whether a port text names a TCP connection: it starts with "tcp://".
bool isTcpPortText(const QString &text);

// The far end of "tcp://HOST:PORT": HOST a name or an IPv4 address, or an IPv6 address in
// brackets ("tcp://[::1]:5020"); PORT 1 to 65535 in decimal. Nothing for any other text.
std::optional<TcpEndpoint> tcpEndpointOfText(const QString &text);

// Opens the port from the texts of the speed, framing and port boxes, in three steps that all
// run even after one has failed: the settings "<speed>,<framing>", the port number of the port
// text (see portNumberOfText), or its far end when it names a TCP connection (see
// SerialComm::setEndpoint), the open. Returns the last failure, or none. When a step failed
// but the port ended open (an open with the previous port number, say), the port is closed
// again, so that it is never open while the caller reports a failure.
CommError openPort(SerialComm &comm, const QString &speedText, const QString &framingText,
                   const QString &portText);

} // namespace serial
