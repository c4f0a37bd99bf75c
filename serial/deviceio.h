#pragma once

#include "serial/serialcomm.h"

#include <QIODevice>
#include <functional>

namespace serial
{

// What the serial components over a QIODevice (a serial port, a TCP socket) share.

// The arrival reporting of a serial component over a QIODevice (a serial port, a TCP socket):
// the handler is told how many bytes came into the device's read buffer since it was last told
// (SerialComm::ArrivalHandler), and what the kernel holds can be read in without waiting.
class DeviceArrivals
{
public:
    void setHandler(SerialComm::ArrivalHandler handler) { m_handler = std::move(handler); }
    // The device's read buffer was emptied: read, cleared, or the device opened.
    void bufferTaken() { m_reported = 0; }
    // Tells the handler of the bytes that came since it was last told; for readyRead.
    void report(const QIODevice &device);
    // Reads in what the kernel holds for device, one chunk per wait of no time, while
    // stillOpen() holds (a wait may find the device gone). A bound keeps a device that never
    // stops sending from holding the caller here.
    static void pull(QIODevice &device, const std::function<bool()> &stillOpen);

private:
    SerialComm::ArrivalHandler m_handler;
    qint64 m_reported = 0; // bytes in the device's buffer that the handler has been told of
};

// Waits until the operating system has taken every byte written to device, for at most
// timeoutMs and while stillOpen() holds; the bytes still not taken.
qint64 waitUntilWritten(QIODevice &device, int timeoutMs, const std::function<bool()> &stillOpen);

} // namespace serial
