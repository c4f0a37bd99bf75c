#pragma once

#include <QStringList>
#include <optional>

namespace serial
{

// The entries of the port, speed and framing boxes, and the port number of a port box text.

// Baud rates offered in the speed box, in list order; kDefaultBaudIndex selects "9600".
const QStringList &baudRateEntries();
inline constexpr int kDefaultBaudIndex = 3;

// Framings (parity, data bits, stop bits) offered in the framing box, in list order;
// kDefaultFramingIndex selects "N,8,1". There is no "N,7,x" entry.
const QStringList &framingEntries();
inline constexpr int kDefaultFramingIndex = 8;

// The port number given to the serial component at start-up, and the fallback selection
// of the port box when no device is reported.
inline constexpr qint16 kInitialCommPort = 3;

// Entries of the port box: "Com1" to "Com16".
inline constexpr int kPortEntryCount = 16;
QStringList portEntries();

// The port number of a port box text: every "Com" (exact case) removed, the rest read as a
// 16-bit decimal number, blanks around it allowed. "Com3" gives 3 and "12" gives 12; "COM3",
// "com3" and "" give nothing.
std::optional<qint16> portNumberOfText(const QString &text);

} // namespace serial
