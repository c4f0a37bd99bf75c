#pragma once

#include "serial/portmap.h"

#include <QList>
#include <QString>
#include <optional>

namespace serial
{

// The directory whose links "com<N>" name ports: $XDG_CONFIG_HOME/wirelark/ports, or
// ~/.config/wirelark/ports when XDG_CONFIG_HOME is unset or empty. It need not exist.
QString portDirectory();

// The links of a port directory: every symbolic link whose name portLinkNumber accepts, with
// its target fully resolved (empty when it dangles). Other entries are ignored; a missing
// directory gives none.
QList<PortLink> readPortLinks(const QString &directory);

// The serial devices that Qt Serial Port lists on this machine.
QList<SerialDevice> systemSerialDevices();

// The machine's serial ports as the port box numbers them, linked ports first.
QList<MappedPort> scanSystemPorts();

// The port that number currently maps to, looked up afresh; nothing when it maps to none.
std::optional<MappedPort> resolveSystemPort(int number);

} // namespace serial
