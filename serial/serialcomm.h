#pragma once

#include "serial/commerror.h"
#include "serial/commsettings.h"
#include "serial/modemlines.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace serial
{

// Everything the window asks of a serial port. Every call runs on the UI thread; writes of
// properties and the I/O calls return a CommError (number 0 on success) instead of throwing.
class SerialComm
{
public:
    virtual ~SerialComm() = default;

    // The port number (1-based) that the next open uses.
    virtual CommError setCommPort(qint16 port) = 0;
    virtual qint16 commPort() const = 0;

    // "<baud>,<parity>,<data bits>,<stop bits>", for example "9600,N,8,1" (see parseSettings);
    // takes effect at the next open. A malformed text fails here and the previous settings stay.
    virtual CommError setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;
    // The settings text as parsed when it was written: what every layer below the window asks.
    virtual CommSettings lineSettings() const = 0;

    virtual CommError setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // false: DTR is not asserted while the port is open. A component without modem lines (a TCP
    // connection) takes it and does nothing.
    virtual CommError setDTREnable(bool enable) = 0;
    // 1: reads return bytes. The only mode the program uses.
    virtual CommError setInputMode(qint32 mode) = 0;

    // 0 discards every received byte not yet taken, in the operating system and the component.
    virtual CommError setInBufferCount(qint16 count) = 0;

    // Hands all bytes to the operating system before it returns.
    virtual CommError output(const QByteArray &bytes) = 0;

    // Returns, and removes, every byte received since the buffer was last emptied or read;
    // empty when nothing arrived.
    virtual CommError input(QByteArray &bytes) = 0;

    // Called with the number of bytes each time bytes arrive while the port is open. The bytes
    // stay buffered for input(); nothing is taken from the buffer by telling. Arrivals are seen
    // while the event loop runs (and when input() collects what the system still holds). One
    // handler at a time; an empty one stops the calls.
    using ArrivalHandler = std::function<void(qint64 count)>;
    virtual void setArrivalHandler(ArrivalHandler handler) = 0;

    // Takes in what has reached the open port but has not been seen yet, and tells the arrival
    // handler about it, without running the event loop; nothing when the port is not open.
    virtual void collectArrivals() = 0;

    // How long the port's driver may hold received bytes before it passes them on: the latency
    // timer of a USB adapter while the port is open; zero for a port that passes them at once
    // (a pseudo-terminal, a UART) or one not open.
    virtual std::chrono::microseconds deliveryLatency() const { return {}; }

    // The driver's RS-485 mode, asked for at every later open (see ModemLines::enableRs485) and
    // given back at the close; unset, the default, leaves the driver's mode alone. A driver
    // that refuses it fails the open. A component without a serial driver refuses it here.
    virtual CommError setRs485(std::optional<Rs485Mode> mode)
    {
        if (!mode)
            return {};
        return CommError::make(CommError::BadValue,
                               QStringLiteral("RS-485 mode is a serial driver's; this port has "
                                              "none."));
    }

    // The far end of a component that carries the frames over TCP, as "tcp://HOST:PORT"; it
    // takes effect at the next open. A serial device has none and refuses.
    virtual CommError setEndpoint(const QString &portText)
    {
        return CommError::make(CommError::BadValue,
                               QStringLiteral("\"%1\" names a TCP connection; this port opens "
                                              "serial devices only.")
                                   .arg(portText));
    }
};

// The checks every component makes of these two values alike: input mode 0 or 1; a buffer count
// of 0, the only one the program writes.
inline CommError checkInputMode(qint32 mode)
{
    if (mode != 0 && mode != 1)
        return CommError::make(
            CommError::BadValue,
            QStringLiteral("Input mode %1 is not supported; use 1 (bytes).").arg(mode));
    return {};
}

inline CommError checkInBufferCount(qint16 count)
{
    if (count != 0)
        return CommError::make(CommError::BadValue,
                               QStringLiteral("The receive buffer can only be emptied (count 0), "
                                              "not set to %1.")
                                   .arg(count));
    return {};
}

} // namespace serial
