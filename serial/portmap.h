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

} // namespace serial
