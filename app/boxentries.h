#pragma once

#include <QStringList>

// The entries of the port, speed and framing boxes.

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
