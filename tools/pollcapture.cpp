#include "pollcapture.h"

namespace poll
{

std::unique_ptr<PollCapture> PollCapture::open(const QString &path, QString *error)
{
    if (error)
        *error = QStringLiteral("%1: this build cannot write captures.").arg(path);
    return nullptr;
}

PollCapture::~PollCapture() = default;

bool PollCapture::record(const QByteArray &, transaction::Clock::time_point)
{
    return false;
}

bool PollCapture::flush()
{
    return false;
}

QString PollCapture::errorText() const
{
    return {};
}

} // namespace poll
