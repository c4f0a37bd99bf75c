#include "console/standardoutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace console
{

OutputResult writeStandardOutput(const QByteArray &bytes, QString &message)
{
    const std::size_t size = static_cast<std::size_t>(bytes.size());
    if (std::fwrite(bytes.constData(), 1, size, stdout) == size && std::fflush(stdout) == 0)
        return OutputResult::Written;
    if (errno == EPIPE)
        return OutputResult::ReaderGone;
    message = QStringLiteral("cannot write the output: %1.")
                  .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return OutputResult::Failed;
}

} // namespace console
