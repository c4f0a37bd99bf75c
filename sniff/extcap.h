#pragma once

#include "serial/portmap.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace sniff
{

// The answers to Wireshark's extcap calls. Every text ends with a line feed.

// The interface of port number N: "wirelark-comN".
QString interfaceName(int portNumber);
// The port number of an interface name; none for a name that is not ours.
std::optional<int> portNumberOfInterface(const QString &name);

// --extcap-interfaces: the program's line, then one interface per port, in the port map's order.
QString extcapInterfaces(const QList<serial::MappedPort> &ports, const QString &version);
// --extcap-dlts: link type 252 (exported PDUs, each record naming its dissector).
QString extcapDlts(const QString &interface);
// --extcap-config: the line speed and the framing, with the window's defaults.
QString extcapConfig();

// The extcap folders of the user: $XDG_CONFIG_HOME/wireshark/extcap (~/.config when unset),
// which Wireshark 4.0 reads, and ~/.local/lib/wireshark/extcap, which later versions read.
QStringList userExtcapFolders(const QString &configHome, const QString &home);

// Links program (an absolute path) as "wirelark-sniff" into each folder, creating folders as
// needed and replacing an older link; a file there that is not a link is left alone. Returns a
// line per folder: what was done, or what failed and why. *ok tells whether all went well.
QStringList installExtcap(const QString &program, const QStringList &folders, bool *ok);

} // namespace sniff
