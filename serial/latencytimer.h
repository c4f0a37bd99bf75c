#pragma once

#include <QString>
#include <optional>

namespace serial
{

// The latency timer of a USB serial adapter: how long the adapter holds received bytes that
// do not fill a USB packet before it sends them to the host.
struct LatencyTimer {
    int milliseconds = 0;
    QString driver; // the kernel driver of the adapter's port, "ftdi_sio"; empty when unknown

    bool operator==(const LatencyTimer &) const = default;
};

// The latency timer of the device at devicePath, as
// <sysfsRoot>/class/tty/<name>/device/latency_timer reports it, where <name> is the file name
// of devicePath with every link resolved ("/dev/serial/by-id/usb-..." gives ttyUSB0). Nothing
// when the device does not exist, its driver offers no latency timer, or the file holds no
// number from 0 to 255.
std::optional<LatencyTimer> readLatencyTimer(const QString &devicePath,
                                             const QString &sysfsRoot = QStringLiteral("/sys"));

// One udev rule that sets the latency timer of every adapter of driver to 1 ms whenever the
// adapter appears; with no driver it covers every USB serial port that has a latency timer.
QString latencyUdevRule(const QString &driver);

} // namespace serial
