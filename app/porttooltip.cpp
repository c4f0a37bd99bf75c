#include "app/porttooltip.h"

QString portToolTip(const QList<serial::MappedPort> &ports, int number)
{
    for (const serial::MappedPort &port : ports) {
        if (port.number == number)
            return portToolTip(port, std::nullopt, false);
    }
    return QStringLiteral("No serial device");
}

QString portToolTip(const serial::MappedPort &port,
                    const std::optional<serial::LatencyTimer> &latency, bool lowLatencyAsked)
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
                      .arg(ms, serial::latencyUdevRule(latency->driver));
}

QString currentPortToolTip(const QList<serial::MappedPort> &ports, int number, bool opened,
                           const QString &sysfsRoot)
{
    for (const serial::MappedPort &port : ports) {
        if (port.number == number)
            return portToolTip(port, serial::readLatencyTimer(port.devicePath, sysfsRoot), opened);
    }
    return portToolTip(ports, number);
}
