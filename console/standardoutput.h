#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace console
{

// Standard output for a program's lines, each write flushed. A reader that has gone (`| head`)
// ends the output quietly, as a stop signal would end the program; any other failure is
// reported once. Either way nothing more is written. SIGPIPE must be ignored for a reader that
// has gone to show as such rather than end the process.
class StandardOutput
{
public:
    // False when the bytes were not all written, now or at an earlier write; report gets the
    // message of the first failure that is not a reader gone.
    bool write(const QByteArray &bytes, const std::function<void(const QString &)> &report);
    bool readerGone() const { return m_readerGone; }
    bool failed() const { return m_failed; }

private:
    bool m_readerGone = false;
    bool m_failed = false;
};

} // namespace console
