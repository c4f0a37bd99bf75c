#pragma once

#include "serial/latencytimer.h"
#include "serial/portmap.h"

#include <QList>
#include <QString>
#include <optional>

// The tool tip of port box entry Com<number>: the device it maps to, "/dev/ttyUSB0 - FT232R USB
// UART", "/dev/pts/3 - linked as com5" for a link to a device without description, or
// "No serial device".
QString portToolTip(const QList<serial::MappedPort> &ports, int number);

// The tool tip of one port: its line as above and, for an adapter with a latency timer, a line
// with the timer. When the port has opened (which asks the driver for low latency) and the
// timer still holds more than 1 ms, that line tells how to set it to 1 ms for good and a last
// line holds the udev rule that does it.
QString portToolTip(const serial::MappedPort &port,
                    const std::optional<serial::LatencyTimer> &latency, bool lowLatencyAsked);

// The tool tip of port box entry Com<number> with the latency timer that the device reports
// now under sysfsRoot. opened: the port has just opened, so the serial component has asked the
// driver for low latency. The window calls it with false while it fills the port box and with
// true after a successful open.
QString currentPortToolTip(const QList<serial::MappedPort> &ports, int number, bool opened,
                           const QString &sysfsRoot = QStringLiteral("/sys"));
