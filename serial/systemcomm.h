#pragma once

#include "serial/serialcomm.h"
#include "serial/systemports.h"

#include <functional>
#include <memory>
#include <optional>

namespace serial
{

// Maps a port number to a device when the port opens; nothing when the number maps to none.
using PortResolver = std::function<std::optional<MappedPort>(int number)>;

// The serial component over the machine's real serial devices. resolver is asked for the device
// at every open; the default, resolveSystemPort, looks at the links of the port directory and
// the machine's serial devices.
std::unique_ptr<SerialComm> createSystemComm(PortResolver resolver = {});

} // namespace serial
