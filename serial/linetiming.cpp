#include "serial/linetiming.h"

namespace serial
{

namespace
{

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr qint32 kFixedGapAbove = 19200;
constexpr std::chrono::nanoseconds kFixedGap = std::chrono::microseconds(1750);

// quarterBits quarter bits at baudRate, rounded to the nearest nanosecond.
std::chrono::nanoseconds quarterBitsTime(std::int64_t quarterBits, qint32 baudRate)
{
    const std::int64_t divisor = 4 * static_cast<std::int64_t>(baudRate);
    return std::chrono::nanoseconds((quarterBits * kNanosecondsPerSecond + divisor / 2) / divisor);
}

} // namespace

std::int64_t halfBitsPerCharacter(const CommSettings &settings)
{
    std::int64_t halfBits = 2 * (1 + settings.dataBits);
    if (settings.parity != CommSettings::Parity::None)
        halfBits += 2;
    switch (settings.stopBits) {
    case CommSettings::StopBits::One:
        return halfBits + 2;
    case CommSettings::StopBits::OneAndHalf:
        return halfBits + 3;
    case CommSettings::StopBits::Two:
        return halfBits + 4;
    }
    return halfBits + 2;
}

double bitsPerCharacter(const CommSettings &settings)
{
    return static_cast<double>(halfBitsPerCharacter(settings)) / 2;
}

std::chrono::nanoseconds charactersTime(const CommSettings &settings, std::int64_t count)
{
    return quarterBitsTime(2 * count * halfBitsPerCharacter(settings), settings.baudRate);
}

std::chrono::nanoseconds frameGap(const CommSettings &settings)
{
    if (settings.baudRate > kFixedGapAbove)
        return kFixedGap;
    // 3.5 characters are 7 quarter bits for every half bit of a character.
    return quarterBitsTime(7 * halfBitsPerCharacter(settings), settings.baudRate);
}

} // namespace serial
