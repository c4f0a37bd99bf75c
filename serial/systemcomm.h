#pragma once

#include "serial/portmap.h"
#include "serial/serialcomm.h"

#include <QList>
#include <memory>

namespace serial
{

// The serial component over the machine's real serial devices.
std::unique_ptr<SerialComm> createSystemComm();

// The machine's serial ports as the port box numbers them, linked ports first.
QList<MappedPort> scanSystemPorts();

} // namespace serial
