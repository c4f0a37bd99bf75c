#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

namespace scan
{

// Where a scan stands, for its progress line.
struct Progress {
    qint64 done = 0;
    qint64 total = 0;
    QString settings; // "19200,N,8,1"
    int found = 0;
    std::chrono::milliseconds left{};
};

// The text of the progress line: "probed 12/247 at 19200,N,8,1, found 1, about 24 s left".
QString progressText(const Progress &progress);

// The progress of a scan on standard error: on a terminal one line that redraws itself (at most
// ten times a second), otherwise one line each time the settings change. Notes go above it.
class ProgressLine
{
public:
    explicit ProgressLine(bool terminal) : m_terminal(terminal) {}

    void show(const Progress &progress);
    // A line of its own, the progress line drawn again after it.
    void note(const QString &text);
    // Writes line to standard output, the progress line taken off the terminal meanwhile; false
    // when it could not be written.
    bool output(const QByteArray &line);
    // Leaves the last progress on a line of its own.
    void finish();

private:
    void draw();

    bool m_terminal = false;
    Progress m_last;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_drawnAt{};
};

} // namespace scan
