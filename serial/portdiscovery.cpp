#include "serial/portdiscovery.h"

namespace serial
{

QStringList discoveryNames(const QList<MappedPort> &ports)
{
    QStringList names;
    for (const MappedPort &port : ports) {
        const QString description = port.description.isEmpty()
                                        ? QStringLiteral("Serial port %1").arg(port.devicePath)
                                        : port.description;
        names << QStringLiteral("%1 (COM%2)").arg(description, QString::number(port.number));
    }
    return names;
}

QString portTextOfName(const QString &name)
{
    // Positions count from 1; with no "COM" the text starts at position 3.
    const qsizetype p = name.indexOf(QLatin1String("COM"), 0, Qt::CaseSensitive) + 1;
    QString text = name.mid(p + 3 - 1, 4);
    text.remove(QLatin1Char(')'));
    return text;
}

int preselectedPosition(const QStringList &names, qint16 commPort)
{
    if (names.isEmpty())
        return commPort - 1;
    bool ok = false;
    const int number = portTextOfName(names.first()).toShort(&ok);
    return (ok ? number : 0) - 1;
}

QString portToolTip(const QList<MappedPort> &ports, int number)
{
    for (const MappedPort &port : ports) {
        if (port.number == number)
            return portToolTip(port, std::nullopt, false);
    }
    return QStringLiteral("No serial device");
}

QString portToolTip(const MappedPort &port, const std::optional<LatencyTimer> &latency,
                    bool lowLatencyAsked)
{
    QString text = port.devicePath;
    if (!port.description.isEmpty())
        text = QStringLiteral("%1 - %2").arg(port.devicePath, port.description);
    else if (port.linked)
        text = QStringLiteral("%1 - linked as com%2")
                   .arg(port.devicePath, QString::number(port.number));
    if (!latency)
        return text;
    const QString ms = QString::number(latency->milliseconds);
    if (!lowLatencyAsked || latency->milliseconds <= 1)
        return text + QStringLiteral("\nLatency timer: %1 ms").arg(ms);
    return text + QStringLiteral("\nLatency timer: %1 ms (the driver did not lower it): a short "
                                 "reply can arrive up to %1 ms late.\nTo set it to 1 ms for good, "
                                 "add this line to a file in /etc/udev/rules.d/\n(for example "
                                 "50-usb-serial-latency.rules) and plug the adapter in again:\n%2")
                      .arg(ms, latencyUdevRule(latency->driver));
}

} // namespace serial
