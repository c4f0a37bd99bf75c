#pragma once

#include "serial/latencytimer.h"
#include "serial/portmap.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace serial
{

// The device names that port discovery walks, one per mapped port in the given order:
// "<description> (COMN)", or "Serial port <device path> (COMN)" when there is no description.
QStringList discoveryNames(const QList<MappedPort> &ports);

// The port text of a device name: up to four characters after the first upper-case "COM"
// (after position 3 when there is none), with every ")" removed. "(COM12)" gives "12".
QString portTextOfName(const QString &name);

// The port box position to select: with at least one name, the first name's port text as a
// number minus one (-1 when it does not convert); with none, commPort minus one. The caller
// selects nothing when the position lies outside the list.
int preselectedPosition(const QStringList &names, qint16 commPort);

// The tool tip of port box entry Com<number>: the device it maps to, "/dev/ttyUSB0 - FT232R USB
// UART", "/dev/pts/3 - linked as com5" for a link to a device without description, or
// "No serial device".
QString portToolTip(const QList<MappedPort> &ports, int number);

// The tool tip of one port: its line as above and, for an adapter with a latency timer, a line
// with the timer. When the port has opened (which asks the driver for low latency) and the
// timer still holds more than 1 ms, that line tells how to set it to 1 ms for good and a last
// line holds the udev rule that does it.
QString portToolTip(const MappedPort &port, const std::optional<LatencyTimer> &latency,
                    bool lowLatencyAsked);

} // namespace serial
