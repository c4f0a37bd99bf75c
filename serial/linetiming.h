#pragma once

#include "serial/commsettings.h"

#include <chrono>
#include <cstdint>

namespace serial
{

// Time on an asynchronous serial line. A character is a start bit, the data bits, a parity
// bit unless the parity is None (Mark and Space send one), and the stop bits. Durations are
// rounded to the nearest nanosecond.

// Bits of one character: 7.5 to 12 (1.5 stop bits give a half bit).
double bitsPerCharacter(const CommSettings &settings);
// The same doubled, so that 1.5 stop bits stay whole: 15 to 24.
std::int64_t halfBitsPerCharacter(const CommSettings &settings);

// The time that count characters take at settings.baudRate; count from 0 to 100,000,000.
std::chrono::nanoseconds charactersTime(const CommSettings &settings, std::int64_t count);

// The silence that ends a Modbus RTU frame: 3.5 characters, and a fixed 1.75 ms above 19200
// baud.
std::chrono::nanoseconds frameGap(const CommSettings &settings);

} // namespace serial
