#pragma once

#include "console/programoptions.h"
#include "probe.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace scan
{

enum class OutputFormat { Text, Json };

// Everything wirelark-scan is asked to do, checked and normalised.
struct ScanOptions {
    // "Com<N>" for serial::openPort, or empty when devicePath names the port.
    QString portText;
    QString devicePath;
    // Tried in this order, each speed with every framing.
    QList<qint32> speeds{9600, 19200, 38400, 115200, 57600, 4800, 2400, 1200};
    QStringList framings{QStringLiteral("N,8,1"), QStringLiteral("E,8,1"), QStringLiteral("O,8,1"),
                         QStringLiteral("N,8,2")};
    QList<int> addresses; // empty until parsed: defaultAddressOrder()
    // The wait for a silent probe; unset: timeoutFor(speed).
    std::optional<int> timeoutMs;
    bool first = false;
    bool dryRun = false;
    ProbeKind probe = ProbeKind::ReadHolding;
    OutputFormat format = OutputFormat::Text;
};

// 1, 2, 247, then 3 to 246: the addresses a new device most often has first.
QList<int> defaultAddressOrder();

// The wait for a silent probe at speed: the one given, else 100 ms at 4800 baud and above and
// 200 ms below.
int timeoutFor(const ScanOptions &options, qint32 speed);

// The outcome of reading the command line, with the options when it is Run.
struct CommandLine : console::ParseOutcome {
    ScanOptions options;
};

// Reads the arguments, program name first.
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace scan
