#pragma once

#include <QByteArray>
#include <QString>

namespace console
{

enum class OutputResult {
    Written,
    ReaderGone, // the pipe's reader went away (`| head`): the program ends quietly
    Failed,     // any other failure; the message is set
};

// Writes bytes to standard output and flushes them. SIGPIPE must be ignored for a reader that
// went away to show as ReaderGone rather than end the process.
OutputResult writeStandardOutput(const QByteArray &bytes, QString &message);

} // namespace console
