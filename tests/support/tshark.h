#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <optional>

// The records of a capture file as tshark decodes them, CRC verification on: one line per record,
// its CRC status (1: good) and tshark's summary, blanks collapsed, for example
// "1 Query: Unit: 1, Func: 3: Read Holding Registers". Empty when tshark is not installed or
// did not finish within a minute.
inline std::optional<QStringList> tsharkRecords(const QString &path)
{
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        return std::nullopt;
    QProcess run;
    run.start(tshark, {"-r", path, "-o", "mbrtu.crc_verification:TRUE", "-T", "fields", "-e",
                       "mbrtu.crc16.status", "-e", "_ws.col.Info"});
    if (!run.waitForFinished(60000))
        return std::nullopt;
    QStringList records;
    for (const QString &line : QString::fromUtf8(run.readAllStandardOutput()).split('\n'))
        if (!line.isEmpty())
            records << line.simplified();
    return records;
}
