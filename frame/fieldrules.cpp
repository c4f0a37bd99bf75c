#include "frame/fieldrules.h"

#include <cmath>

namespace frame
{

namespace
{

bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexLetter(char16_t c)
{
    return (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

qint16 hexKeyFilter(qint16 keyAscii)
{
    const auto c = static_cast<char16_t>(keyAscii);
    if (isAsciiDigit(c) || keyAscii == kBackspace || isHexLetter(c))
        return keyAscii;
    return 0;
}

qint16 decimalKeyFilter(qint16 keyAscii)
{
    const auto c = static_cast<char16_t>(keyAscii);
    if (isAsciiDigit(c) || keyAscii == kBackspace)
        return keyAscii;
    return 0;
}

std::optional<double> delayValue(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString clampDelayText(const QString &text)
{
    const std::optional<double> value = delayValue(text);
    if (value && *value > kMaxDelayMs)
        return QString::number(kMaxDelayMs);
    if (!value || *value < kMinDelayMs)
        return QString::number(kMinDelayMs);
    return text;
}

double delayMilliseconds(const QString &text)
{
    return delayValue(text).value_or(kMinDelayMs);
}

} // namespace frame
