#pragma once

#include <QString>
#include <optional>

namespace frame
{

// Last `num` characters of "0000" + Text1, each upper-cased on its own (so the length never
// changes). Any width from 0 to 4 yields exactly that many characters; a negative width yields "".
// Characters are UTF-16 units: half of a surrogate pair left alone by the cut (or by a field's
// maximum length) becomes U+FFFD, which is no digit either, so the value is the same.
QString Length_str(const QString &Text1, qint16 num);

// Reads hexadecimal text of any length. Digits are 0-9 and A-F after upper-casing; any other
// character adds nothing but keeps its place, so the digits to its left keep their weights.
// nullopt when the value exceeds 0x7FFFFFFF.
std::optional<qint32> HEX_to_DEC(const QString &Hex);

// A byte as upper-case hex digits without leading zeros: 0 gives "", 10 gives "A", 255 "FF".
QString DEC_to_HEX(quint8 Dec);

// The one way a byte is shown: always exactly two upper-case digits ("00" for 0).
QString byteText(quint8 value);

} // namespace frame
