#include "progressline.h"

#include <algorithm>
#include <cstdio>

namespace scan
{

namespace
{

constexpr std::chrono::milliseconds kRedrawInterval{100};
// Erases the terminal's line from the cursor on, after a carriage return.
constexpr const char *kClearLine = "\r\033[K";

} // namespace

QString progressText(const Progress &progress)
{
    const qint64 seconds = (std::max<qint64>(progress.left.count(), 0) + 999) / 1000;
    return QStringLiteral("probed %1/%2 at %3, found %4, about %5 s left")
        .arg(progress.done)
        .arg(progress.total)
        .arg(progress.settings)
        .arg(progress.found)
        .arg(seconds);
}

void ProgressLine::show(const Progress &progress)
{
    const bool settingsChanged = progress.settings != m_last.settings;
    m_last = progress;
    if (!m_terminal) {
        if (settingsChanged)
            std::fprintf(stderr, "%s\n", qUtf8Printable(progressText(progress)));
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (settingsChanged || !m_drawn || now - m_drawnAt >= kRedrawInterval ||
        progress.done == progress.total) {
        m_drawnAt = now;
        draw();
    }
}

void ProgressLine::draw()
{
    std::fprintf(stderr, "%s%s", kClearLine, qUtf8Printable(progressText(m_last)));
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressLine::note(const QString &text)
{
    if (m_terminal && m_drawn)
        std::fputs(kClearLine, stderr);
    std::fprintf(stderr, "wirelark-scan: %s\n", qUtf8Printable(text));
    if (m_terminal && m_drawn)
        draw();
}

bool ProgressLine::output(const QByteArray &line)
{
    if (m_terminal && m_drawn) {
        std::fputs(kClearLine, stderr);
        std::fflush(stderr);
    }
    const std::size_t size = std::size_t(line.size());
    const bool written =
        std::fwrite(line.constData(), 1, size, stdout) == size && std::fflush(stdout) == 0;
    if (m_terminal && m_drawn)
        draw();
    return written;
}

void ProgressLine::finish()
{
    if (m_terminal && m_drawn) {
        draw();
        std::fputc('\n', stderr);
    } else if (!m_terminal && m_last.total > 0) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(progressText(m_last)));
    }
    m_drawn = false;
}

} // namespace scan
