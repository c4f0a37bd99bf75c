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

// A port as a command line names it, ready to open: the port text for openPort ("Com<N>") and a
// resolver that maps that one number, from one look-up of the machine's ports.
struct ChosenPort {
    QString portText;
    PortResolver resolver;
};

// portText ("Com5") is looked up in the port map. A devicePath, when given, is named by the
// number the port map gives it, so that messages read as the window's; a device the map does not
// list takes the lowest number free, and only that number opens it.
ChosenPort chooseSystemPort(const QString &portText, const QString &devicePath);

} // namespace serial
