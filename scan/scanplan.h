#pragma once

#include "scanoptions.h"

#include <QString>
#include <chrono>

namespace scan
{

// The longest one silent probe takes at speed and framing: the probe on the wire, the timeout,
// and the 3.5 characters of silence kept before the next.
std::chrono::nanoseconds silentProbeTime(const ScanOptions &options, qint32 speed,
                                         const QString &framing);

// The longest the whole scan takes: every address silent at every speed and framing.
std::chrono::nanoseconds worstCaseDuration(const ScanOptions &options);

// What --dry-run prints: the port, the probe, each speed and framing with its timeout and
// longest duration, and the total.
QString planText(const ScanOptions &options);

} // namespace scan
