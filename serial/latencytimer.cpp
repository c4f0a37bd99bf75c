#include "serial/latencytimer.h"

#include <QFile>
#include <QFileInfo>

namespace serial
{

std::optional<LatencyTimer> readLatencyTimer(const QString &devicePath, const QString &sysfsRoot)
{
    const QString resolved = QFileInfo(devicePath).canonicalFilePath();
    const QString name = QFileInfo(resolved).fileName();
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return std::nullopt;
    const QString device =
        sysfsRoot + QStringLiteral("/class/tty/") + name + QStringLiteral("/device");

    QFile file(device + QStringLiteral("/latency_timer"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int milliseconds = QString::fromLatin1(file.read(16)).trimmed().toInt(&ok);
    if (!ok || milliseconds < 0 || milliseconds > 255)
        return std::nullopt;

    const QString driver = QFileInfo(device + QStringLiteral("/driver")).canonicalFilePath();
    return LatencyTimer{milliseconds, QFileInfo(driver).fileName()};
}

QString latencyUdevRule(const QString &driver)
{
    // The driver is bound after the device's "add" event; "bind" and the "change" events of
    // "udevadm trigger" see it too, so the rule answers to every event but removal.
    const QString match = driver.isEmpty() ? QStringLiteral("ATTR{latency_timer}==\"?*\"")
                                           : QStringLiteral("DRIVER==\"%1\"").arg(driver);
    return QStringLiteral("ACTION!=\"remove\", SUBSYSTEM==\"usb-serial\", %1, "
                          "ATTR{latency_timer}=\"1\"")
        .arg(match);
}

} // namespace serial
