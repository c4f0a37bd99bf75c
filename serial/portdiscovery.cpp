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

} // namespace serial
