#include "app/boxentries.h"

const QStringList &baudRateEntries()
{
    static const QStringList entries{"1200",  "2400",  "4800",  "9600",  "14400", "19200",
                                     "38400", "56000", "57600", "76800", "115200"};
    return entries;
}

const QStringList &framingEntries()
{
    static const QStringList entries{"E,7,1", "E,7,2", "E,8,1", "E,8,2", "O,7,1",
                                     "O,7,2", "O,8,1", "O,8,2", "N,8,1", "N,8,2"};
    return entries;
}

QStringList portEntries()
{
    QStringList entries;
    for (int k = 1; k <= kPortEntryCount; ++k)
        entries << QStringLiteral("Com%1").arg(k);
    return entries;
}
