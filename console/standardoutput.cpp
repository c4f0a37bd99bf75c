#include "console/standardoutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace console
{

bool StandardOutput::write(const QByteArray &bytes,
                           const std::function<void(const QString &)> &report)
{
    if (m_readerGone || m_failed)
        return false;
    const std::size_t size = static_cast<std::size_t>(bytes.size());
    if (std::fwrite(bytes.constData(), 1, size, stdout) == size && std::fflush(stdout) == 0)
        return true;
    if (errno == EPIPE) {
        m_readerGone = true;
        return false;
    }
    m_failed = true;
    report(QStringLiteral("cannot write the output: %1.")
               .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return false;
}

} // namespace console
