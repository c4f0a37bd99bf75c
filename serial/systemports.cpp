#include "serial/systemports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace serial
{

QString portDirectory()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/wirelark/ports");
}

QList<PortLink> readPortLinks(const QString &directory)
{
    QList<PortLink> links;
    // QDir::System lists dangling links as well.
    const QFileInfoList entries = QDir(directory).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const int number = portLinkNumber(entry.fileName());
        if (number == 0 || !entry.isSymLink())
            continue;
        links.append({number, entry.canonicalFilePath()});
    }
    return links;
}

QList<SerialDevice> systemSerialDevices()
{
    QList<SerialDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        devices.append({info.systemLocation(), info.description()});
    return devices;
}

QList<MappedPort> scanSystemPorts()
{
    return mapPorts(readPortLinks(portDirectory()), systemSerialDevices());
}

std::optional<MappedPort> resolveSystemPort(int number)
{
    for (const MappedPort &port : scanSystemPorts())
        if (port.number == number)
            return port;
    return std::nullopt;
}

} // namespace serial
