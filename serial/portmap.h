#pragma once

#include <QList>
#include <QString>

namespace serial
{

// One serial port as the window numbers it: Com<number> stands for devicePath.
struct MappedPort {
    int number = 0;
    QString devicePath;
    QString description;
    bool linked = false; // named by a link in the port directory

    bool operator==(const MappedPort &) const = default;
};

// A link "com<number>" of the port directory. target is the absolute path the link resolves
// to, with every link along the way followed; empty when the link dangles.
struct PortLink {
    int number = 0;
    QString target;
};

// A serial device as the machine lists it.
struct SerialDevice {
    QString path; // for example "/dev/ttyUSB0"
    QString description;
};

// The highest port number a link may hold: port numbers are 16-bit.
inline constexpr int kMaxPortNumber = 32767;

// The port number of a link name: "com" (lower case) and a positive decimal number without
// leading zeros, at most kMaxPortNumber. 0 for every other name.
int portLinkNumber(const QString &fileName);

// Numbers the machine's serial ports. Links come first in ascending number; dangling links
// are skipped. Then /dev/ttyS<k> takes number k + 1 unless a link holds it; every other
// device, and a ttyS whose number a link holds, takes the lowest number still free, counting
// from 1, in device path order (digit runs compared as numbers, so ttyUSB2 precedes
// ttyUSB10). A device that a link resolves to is not numbered again. The result lists the
// linked ports in ascending number, then the others in ascending number.
QList<MappedPort> mapPorts(const QList<PortLink> &links, const QList<SerialDevice> &devices);

} // namespace serial
