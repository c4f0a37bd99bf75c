#include "sniff/extcap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace sniff
{

namespace
{

constexpr int kExportedPduLinkType = 252;
const char kLinkName[] = "wirelark-sniff";

// Braces and the characters around them end a field of the extcap grammar.
QString field(QString text)
{
    return text.replace(QLatin1Char('{'), QLatin1Char('('))
        .replace(QLatin1Char('}'), QLatin1Char(')'));
}

} // namespace

QString interfaceName(int portNumber)
{
    return QStringLiteral("wirelark-com%1").arg(portNumber);
}

std::optional<int> portNumberOfInterface(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^wirelark-com([1-9][0-9]{0,4})$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    const int number = match.captured(1).toInt();
    if (number > serial::kMaxPortNumber)
        return std::nullopt;
    return number;
}

QString extcapInterfaces(const QList<serial::MappedPort> &ports, const QString &version)
{
    QString text = QStringLiteral("extcap {version=%1}{display=Wirelark Modbus RTU bus monitor}\n")
                       .arg(field(version));
    for (const serial::MappedPort &port : ports) {
        const QString device = port.description.isEmpty()
                                   ? port.devicePath
                                   : port.devicePath + QStringLiteral(" - ") + port.description;
        text += QStringLiteral("interface {value=%1}{display=Modbus RTU bus on Com%2 (%3)}\n")
                    .arg(interfaceName(port.number))
                    .arg(port.number)
                    .arg(field(device));
    }
    return text;
}

QString extcapDlts(const QString &interface)
{
    return QStringLiteral("dlt {number=%1}{name=%2}{display=Modbus RTU frames}\n")
        .arg(kExportedPduLinkType)
        .arg(field(interface));
}

QString extcapConfig()
{
    QString text = QStringLiteral(
        "arg {number=0}{call=--speed}{display=Speed (baud)}{type=unsigned}{default=9600}"
        "{range=50,4000000}{tooltip=The line speed of the bus}\n"
        "arg {number=1}{call=--settings}{display=Parity, data bits, stop bits}{type=selector}"
        "{tooltip=The framing of the bus}\n");
    for (const char *framing : {"N,8,1", "E,8,1", "O,8,1", "N,8,2", "E,7,1", "O,7,1"})
        text +=
            QStringLiteral("value {arg=1}{value=%1}{display=%1}%2\n")
                .arg(QString::fromLatin1(framing),
                     qstrcmp(framing, "N,8,1") == 0 ? QStringLiteral("{default=true}") : QString());
    return text;
}

QStringList userExtcapFolders(const QString &configHome, const QString &home)
{
    const QString config = configHome.isEmpty() ? home + QStringLiteral("/.config") : configHome;
    return {config + QStringLiteral("/wireshark/extcap"),
            home + QStringLiteral("/.local/lib/wireshark/extcap")};
}

QStringList installExtcap(const QString &program, const QStringList &folders, bool *ok)
{
    QStringList lines;
    bool allWell = true;
    for (const QString &folder : folders) {
        const QString link = folder + QLatin1Char('/') + QString::fromLatin1(kLinkName);
        const QFileInfo existing(link);
        if (!QDir().mkpath(folder)) {
            lines
                << QStringLiteral("cannot create %1: choose a home you may write to.").arg(folder);
            allWell = false;
            continue;
        }
        if (existing.exists() || existing.isSymLink()) {
            if (!existing.isSymLink()) {
                lines << QStringLiteral("%1 exists and is no link; left alone: remove it and run "
                                        "again.")
                             .arg(link);
                allWell = false;
                continue;
            }
            QFile::remove(link);
        }
        if (!QFile::link(program, link)) {
            lines << QStringLiteral("cannot link %1 to %2.").arg(link, program);
            allWell = false;
            continue;
        }
        lines << QStringLiteral("linked %1 -> %2").arg(link, program);
    }
    if (ok)
        *ok = allWell;
    return lines;
}

} // namespace sniff
