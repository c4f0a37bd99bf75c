#include "values.h"

#include <QStringList>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace frame
{

namespace
{

struct TypeInfo {
    ValueType type;
    const char *name;
    int registers;
};

constexpr TypeInfo kTypes[] = {
    {ValueType::U16, "u16", 1}, {ValueType::S16, "s16", 1}, {ValueType::Hex, "hex", 1},
    {ValueType::U32, "u32", 2}, {ValueType::S32, "s32", 2}, {ValueType::F32, "f32", 2},
    {ValueType::U64, "u64", 4}, {ValueType::F64, "f64", 4},
};

const TypeInfo &infoOf(ValueType type)
{
    for (const TypeInfo &info : kTypes)
        if (info.type == type)
            return info;
    return kTypes[0];
}

quint16 swapped(quint16 word)
{
    return static_cast<quint16>((word << 8) | (word >> 8));
}

// The bits of one value from its registers, most significant word first after the layout's order.
quint64 bitsOf(const QList<quint16> &registers, qsizetype first, const ValueLayout &layout)
{
    const int width = registersPerValue(layout.type);
    quint64 bits = 0;
    for (int k = 0; k < width; ++k) {
        const qsizetype index =
            layout.wordOrder == WordOrder::Big ? first + k : first + width - 1 - k;
        const quint16 word = layout.byteSwap ? swapped(registers[index]) : registers[index];
        bits = (bits << 16) | word;
    }
    return bits;
}

QList<quint16> registersOf(quint64 bits, const ValueLayout &layout)
{
    const int width = registersPerValue(layout.type);
    QList<quint16> words(width);
    for (int k = width - 1; k >= 0; --k) {
        const quint16 word = static_cast<quint16>(bits & 0xFFFF);
        words[layout.wordOrder == WordOrder::Big ? k : width - 1 - k] =
            layout.byteSwap ? swapped(word) : word;
        bits >>= 16;
    }
    return words;
}

template <typename Float> QString floatText(Float value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    char text[64];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return QString::fromLatin1(text, end.ptr - text);
}

} // namespace

std::optional<ValueType> valueTypeNamed(QStringView name)
{
    for (const TypeInfo &info : kTypes)
        if (name == QLatin1String(info.name))
            return info.type;
    return std::nullopt;
}

QString valueTypeNames()
{
    QStringList names;
    for (const TypeInfo &info : kTypes)
        names << QLatin1String(info.name);
    return names.join(QStringLiteral(", "));
}

QString valueTypeName(ValueType type)
{
    return QLatin1String(infoOf(type).name);
}

int registersPerValue(ValueType type)
{
    return infoOf(type).registers;
}

QStringList valueTexts(const QList<quint16> &registers, const ValueLayout &layout)
{
    const int width = registersPerValue(layout.type);
    QStringList texts;
    for (qsizetype first = 0; first + width <= registers.size(); first += width) {
        const quint64 bits = bitsOf(registers, first, layout);
        switch (layout.type) {
        case ValueType::U16:
        case ValueType::U32:
        case ValueType::U64:
            texts << QString::number(bits);
            break;
        case ValueType::S16:
            texts << QString::number(static_cast<qint16>(bits));
            break;
        case ValueType::S32:
            texts << QString::number(static_cast<qint32>(bits));
            break;
        case ValueType::Hex:
            texts << QStringLiteral("%1").arg(bits, 4, 16, QLatin1Char('0')).toUpper();
            break;
        case ValueType::F32:
            texts << floatText(std::bit_cast<float>(static_cast<quint32>(bits)));
            break;
        case ValueType::F64:
            texts << floatText(std::bit_cast<double>(bits));
            break;
        }
    }
    return texts;
}

QList<quint16> valueRegisters(const QString &text, const ValueLayout &layout, QString &error)
{
    const QString name = valueTypeName(layout.type);
    const auto wrong = [&](const QString &why) {
        error = QStringLiteral("\"%1\" is not a %2 value: %3.").arg(text, name, why);
        return QList<quint16>();
    };
    bool ok = false;
    quint64 bits = 0;
    switch (layout.type) {
    case ValueType::U16:
    case ValueType::U32:
    case ValueType::U64: {
        const quint64 value = text.toULongLong(&ok, 10);
        const quint64 top = layout.type == ValueType::U16   ? 0xFFFF
                            : layout.type == ValueType::U32 ? 0xFFFF'FFFF
                                                            : std::numeric_limits<quint64>::max();
        if (!ok || text.startsWith(QLatin1Char('+')) || value > top)
            return wrong(QStringLiteral("give a whole number from 0 to %1").arg(top));
        bits = value;
        break;
    }
    case ValueType::S16:
    case ValueType::S32: {
        const qint64 value = text.toLongLong(&ok, 10);
        const qint64 top = layout.type == ValueType::S16 ? 32767 : 2147483647;
        if (!ok || value > top || value < -top - 1)
            return wrong(
                QStringLiteral("give a whole number from %1 to %2").arg(-top - 1).arg(top));
        bits = static_cast<quint64>(value) & (layout.type == ValueType::S16 ? 0xFFFF : 0xFFFF'FFFF);
        break;
    }
    case ValueType::Hex: {
        QString digits = text;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            digits = digits.mid(2);
        const uint value = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 4 || digits.startsWith(QLatin1Char('+')) ||
            digits.startsWith(QLatin1Char('-')))
            return wrong(QStringLiteral("give 1 to 4 hexadecimal digits"));
        bits = value;
        break;
    }
    case ValueType::F32:
    case ValueType::F64: {
        const double value = text.toDouble(&ok);
        const QString lower = text.toLower();
        const bool special = lower == QLatin1String("nan") || lower == QLatin1String("inf") ||
                             lower == QLatin1String("-inf");
        if (!ok && !special)
            return wrong(QStringLiteral("give a number such as 21.5 or -1e-3"));
        const double number =
            !special                        ? value
            : lower == QLatin1String("nan") ? std::numeric_limits<double>::quiet_NaN()
            : lower == QLatin1String("inf") ? std::numeric_limits<double>::infinity()
                                            : -std::numeric_limits<double>::infinity();
        if (layout.type == ValueType::F64) {
            bits = std::bit_cast<quint64>(number);
        } else {
            if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<float>::max())
                return wrong(QStringLiteral("it is beyond the largest f32, 3.4e38"));
            bits = std::bit_cast<quint32>(static_cast<float>(number));
        }
        break;
    }
    }
    return registersOf(bits, layout);
}

} // namespace frame
