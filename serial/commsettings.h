#pragma once

#include "serial/commerror.h"

#include <QString>

namespace serial
{

// Speed and framing of a serial line, as a settings text such as "9600,N,8,1" gives them.
struct CommSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool operator==(const CommSettings &) const = default;
};

// Parses "<baud>,<parity>,<data bits>,<stop bits>": a positive decimal rate that fits 32 bits,
// parity N, E, O, M or S (either case), data bits 5 to 8, stop bits 1, 1.5 or 2. No blanks.
// On failure returns BadSettings with a message that names the faulty field, and leaves
// settings untouched.
CommError parseSettings(const QString &text, CommSettings &settings);

// The settings text of settings, for example "9600,N,8,1" or "19200,E,7,1.5".
QString settingsText(const CommSettings &settings);

} // namespace serial
