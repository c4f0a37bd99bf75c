#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

namespace frame
{

// How 16-bit registers are read as one value. u16, s16 and hex take one register; u32, s32 and
// f32 two; u64 and f64 four. f32 and f64 are IEEE 754 binary32 and binary64.
enum class ValueType { U16, S16, Hex, U32, S32, F32, U64, F64 };

// Which register of a value holds its most significant word: the first (Big, the protocol's own
// order for one register's bytes) or the last (Little).
enum class WordOrder { Big, Little };

struct ValueLayout {
    ValueType type = ValueType::U16;
    WordOrder wordOrder = WordOrder::Big;
    // The two bytes inside each register swapped (low byte first on the wire).
    bool byteSwap = false;

    bool operator==(const ValueLayout &) const = default;
};

// "u16", "s16", "hex", "u32", "s32", "f32", "u64", "f64"; empty for any other text.
std::optional<ValueType> valueTypeNamed(QStringView name);
// The names in the order of ValueType, separated by ", ".
QString valueTypeNames();
QString valueTypeName(ValueType type);

// 1, 2 or 4.
int registersPerValue(ValueType type);

// The values that registers hold, one per registersPerValue(layout.type) registers, as text:
// decimal for the integer types, four upper-case hex digits per register for hex, the shortest
// text that reads back to the same float for f32 and f64 ("nan", "inf", "-inf" for those).
// Registers left over after the last whole value are not read.
QStringList valueTexts(const QList<quint16> &registers, const ValueLayout &layout);

// The registers that hold the value text reads as, in the layout; empty with error set when the
// text is not a number of the type or out of its range. Integers in decimal (hex: 1 to 4 hex
// digits, an optional "0x" first); floats as C reads them, "nan" and "inf" included.
QList<quint16> valueRegisters(const QString &text, const ValueLayout &layout, QString &error);

} // namespace frame
