#include "serial/deviceio.h"

#include <QDeadlineTimer>

namespace serial
{

void DeviceArrivals::report(const QIODevice &device)
{
    const qint64 buffered = device.bytesAvailable();
    const qint64 arrived = buffered - m_reported;
    m_reported = buffered;
    if (arrived > 0 && m_handler)
        m_handler(arrived);
}

void DeviceArrivals::pull(QIODevice &device, const std::function<bool()> &stillOpen)
{
    constexpr int kMaxChunks = 64;
    for (int i = 0; i < kMaxChunks && stillOpen(); ++i) {
        if (!device.waitForReadyRead(0))
            break;
    }
}

qint64 waitUntilWritten(QIODevice &device, int timeoutMs, const std::function<bool()> &stillOpen)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (stillOpen() && device.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!device.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    return device.bytesToWrite();
}

} // namespace serial
