#pragma once

// The straightforward design that the benchmarks measure our code against: a wait that polls
// the clock while it processes events, and a log that rewrites the whole text of its box for
// every received byte.

#include <QByteArray>
#include <QString>

class QPlainTextEdit;

namespace bench
{

// Polls a monotonic clock, processing all pending events between polls, until `seconds` passed.
void pollingWait(double seconds);

// The byte as two upper-case hex digits, made the way the straightforward design makes them:
// the shortest hex text, then padded with zeros on the left.
QString byteHexPadded(unsigned char byte);

// Reads the whole text of the box, joins `piece` at its end and writes the whole text back.
void rewriteAppend(QPlainTextEdit *box, const QString &piece);

// Appends one log line as the straightforward design does: for every byte a rewrite with the
// separator (from the second byte on) and a rewrite with its digits, then one with the line end.
void appendPerByte(QPlainTextEdit *box, const QByteArray &bytes);

} // namespace bench
