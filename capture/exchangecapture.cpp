#include "capture/exchangecapture.h"

namespace capture
{

ExchangeCapture::ExchangeCapture(std::unique_ptr<CaptureWriter> writer)
    : m_writer(std::move(writer))
{
}

void ExchangeCapture::requestWritten(const QByteArray &request, transaction::Clock::time_point when)
{
    record(request, when);
}

void ExchangeCapture::replyRead(const QByteArray &reply, const transaction::ExchangeResult &result)
{
    if (!reply.isEmpty())
        record(reply, result.times.lastByte.value_or(transaction::Clock::now()));
}

void ExchangeCapture::record(const QByteArray &frame, transaction::Clock::time_point when)
{
    if (m_writer->failed())
        return;
    if (m_writer->write(frame, systemTimeOf(when)) && m_writer->flush())
        return;
    if (onFailure)
        onFailure(m_writer->errorText());
}

} // namespace capture
