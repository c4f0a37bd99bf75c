#include "frame/hextext.h"

namespace frame
{

namespace
{

QString upperPerCharacter(QString text)
{
    for (QChar &c : text)
        c = c.toUpper();
    return text;
}

// Each half of a surrogate pair that stands alone becomes U+FFFD, one character like the half.
QString withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

QString Length_str(const QString &Text1, qint16 num)
{
    if (num < 0)
        return {};
    const QString joined = QStringLiteral("0000") + Text1;
    return withoutLoneSurrogates(upperPerCharacter(joined.right(num)));
}

std::optional<qint32> HEX_to_DEC(const QString &Hex)
{
    const QString upper = upperPerCharacter(Hex);
    qint64 sum = 0;
    qint64 weight = 1;
    bool weightOverflow = false;
    for (qsizetype i = upper.size() - 1; i >= 0; --i) {
        const int d = hexDigitValue(upper.at(i));
        if (d > 0) {
            if (weightOverflow)
                return std::nullopt;
            sum += d * weight;
            if (sum > 0x7FFFFFFF)
                return std::nullopt;
        }
        if (!weightOverflow) {
            if (weight > (qint64(0x7FFFFFFF) >> 4))
                weightOverflow = true; // any further non-zero digit overflows
            else
                weight <<= 4;
        }
    }
    return static_cast<qint32>(sum);
}

QString DEC_to_HEX(quint8 Dec)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString text;
    unsigned value = Dec;
    while (value > 0) {
        text.prepend(QLatin1Char(kDigits[value % 16]));
        value /= 16;
    }
    return text;
}

QString byteText(quint8 value)
{
    return Length_str(DEC_to_HEX(value), 2);
}

} // namespace frame
