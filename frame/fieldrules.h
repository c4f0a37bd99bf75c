#pragma once

#include <QString>
#include <optional>

namespace frame
{

inline constexpr qint16 kBackspace = 8;
inline constexpr int kMinDelayMs = 10;
inline constexpr int kMaxDelayMs = 10000;

// Key filters of the editable fields. They take the character code of a key press and return
// it unchanged to let it through, or 0 to discard it.
// Hexadecimal fields: ASCII 0-9, a-f, A-F and Backspace; every other code is discarded.
qint16 hexKeyFilter(qint16 keyAscii);
// The wait field: ASCII 0-9 and Backspace.
qint16 decimalKeyFilter(qint16 keyAscii);

// The wait field's text read as a decimal number (surrounding blanks allowed);
// nullopt for an empty text or one that is not a finite number.
std::optional<double> delayValue(const QString &text);

// The wait field's text after it loses the focus: above 10000 becomes "10000", below 10
// becomes "10", anything in range stays exactly as typed (leading zeros included). A text
// that is not a number counts as below the minimum.
QString clampDelayText(const QString &text);

// The wait of one exchange in milliseconds, as the text stands now (not clamped, so a 1
// typed but not yet left waits 1 ms). A text that is not a number waits the minimum.
double delayMilliseconds(const QString &text);

} // namespace frame
