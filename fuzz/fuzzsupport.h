#pragma once

#include <QByteArray>
#include <QString>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property that must hold for every input; a violation prints the condition and aborts, which
// libFuzzer reports with the input that caused it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz
{

// Text of up to maxUnits UTF-16 units, two input bytes each: any unit at all, lone surrogates,
// control characters and unassigned code points included.
inline QString takeText(FuzzedDataProvider &data, std::size_t maxUnits)
{
    const std::size_t units = data.ConsumeIntegralInRange<std::size_t>(0, maxUnits);
    QString text;
    text.reserve(qsizetype(units));
    for (std::size_t i = 0; i < units && data.remaining_bytes() > 0; ++i)
        text.append(QChar(data.ConsumeIntegral<char16_t>()));
    return text;
}

// Text of up to maxUnits characters drawn from alphabet, so that the interesting characters
// of a rule meet often enough.
inline QString takeTextFrom(FuzzedDataProvider &data, std::size_t maxUnits, const QString &alphabet)
{
    const std::size_t units = data.ConsumeIntegralInRange<std::size_t>(0, maxUnits);
    QString text;
    for (std::size_t i = 0; i < units && data.remaining_bytes() > 0; ++i) {
        const auto at = data.ConsumeIntegralInRange<qsizetype>(0, alphabet.size());
        // One past the alphabet: any unit at all.
        text.append(at < alphabet.size() ? alphabet.at(at)
                                         : QChar(data.ConsumeIntegral<char16_t>()));
    }
    return text;
}

inline bool hasLoneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

// The value of a hex digit 0-9 or A-F (upper case only); -1 for anything else.
inline int digitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// CRC-16/MODBUS bit by bit: reflected polynomial 0xA001, start 0xFFFF, no final XOR.
inline std::uint16_t crc16(const std::uint8_t *bytes, std::size_t size)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

} // namespace fuzz
