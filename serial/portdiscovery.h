#pragma once

#include "serial/portmap.h"

#include <QList>
#include <QString>
#include <QStringList>

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

} // namespace serial
