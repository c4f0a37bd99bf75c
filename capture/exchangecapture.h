#pragma once

#include "capture/capturewriter.h"
#include "transaction/exchange.h"

#include <QString>
#include <functional>
#include <memory>

namespace capture
{

// Records what an exchange puts on the wire: one record per request written, stamped when the
// write returned, and one per non-empty reply read at the end of a wait, stamped when its last
// byte arrived. Every record is flushed at once, so a crash or a pulled cable loses at most the
// exchange in flight. When the writer fails, `onFailure` is told once, with the writer's text,
// and nothing more is recorded.
class ExchangeCapture : public transaction::ExchangeObserver
{
public:
    explicit ExchangeCapture(std::unique_ptr<CaptureWriter> writer);

    std::function<void(const QString &message)> onFailure;

    void requestWritten(const QByteArray &request, transaction::Clock::time_point when) override;
    void replyRead(const QByteArray &reply, const transaction::ExchangeResult &result) override;

    bool failed() const { return m_writer->failed(); }
    qint64 savedRecords() const { return m_writer->savedRecords(); }

private:
    void record(const QByteArray &frame, transaction::Clock::time_point when);

    std::unique_ptr<CaptureWriter> m_writer;
};

} // namespace capture
