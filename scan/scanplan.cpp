#include "scanplan.h"

#include "serial/commsettings.h"
#include "serial/linetiming.h"

namespace scan
{

namespace
{

serial::CommSettings settingsAt(qint32 speed, const QString &framing)
{
    serial::CommSettings settings;
    serial::parseSettings(QString::number(speed) + QLatin1Char(',') + framing, settings);
    return settings;
}

QString secondsText(std::chrono::nanoseconds duration)
{
    return QString::number(std::chrono::duration<double>(duration).count(), 'f', 1) +
           QStringLiteral(" s");
}

} // namespace

std::chrono::nanoseconds silentProbeTime(const ScanOptions &options, qint32 speed,
                                         const QString &framing)
{
    const serial::CommSettings settings = settingsAt(speed, framing);
    const qsizetype probeBytes = probeFrame(options.probe, 1).size();
    return serial::charactersTime(settings, probeBytes) +
           std::chrono::milliseconds(timeoutFor(options, speed)) + serial::frameGap(settings);
}

std::chrono::nanoseconds worstCaseDuration(const ScanOptions &options)
{
    std::chrono::nanoseconds total{};
    for (qint32 speed : options.speeds)
        for (const QString &framing : options.framings)
            total += silentProbeTime(options, speed, framing) * options.addresses.size();
    return total;
}

QString planText(const ScanOptions &options)
{
    QString text = QStringLiteral("Scan of %1 with probe %2 (%3), %4 addresses")
                       .arg(options.devicePath.isEmpty() ? options.portText : options.devicePath,
                            QString::fromLatin1(probeFrame(options.probe, 1).toHex(' ')),
                            probeName(options.probe))
                       .arg(options.addresses.size());
    text +=
        options.first ? QStringLiteral(", stopping at the first device:\n") : QStringLiteral(":\n");
    for (qint32 speed : options.speeds) {
        for (const QString &framing : options.framings) {
            text += QStringLiteral("  %1,%2  timeout %3 ms  at most %4\n")
                        .arg(speed)
                        .arg(framing)
                        .arg(timeoutFor(options, speed))
                        .arg(secondsText(silentProbeTime(options, speed, framing) *
                                         options.addresses.size()));
        }
    }
    text += QStringLiteral("At most %1 in all, every address silent; each device found takes up "
                           "to three more probes at ten times the timeout.\n")
                .arg(secondsText(worstCaseDuration(options)));
    return text;
}

} // namespace scan
