#pragma once

#include "transaction/exchange.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace poll
{

// The file that --capture names: every frame on the wire, one record each, with the time it
// was written or arrived.
class PollCapture
{
public:
    // Creates or empties the file; null with *error set (path, reason, remedy) when it cannot.
    static std::unique_ptr<PollCapture> open(const QString &path, QString *error);
    ~PollCapture();

    // false when the record cannot be written; errorText() then says why.
    bool record(const QByteArray &frame, transaction::Clock::time_point when);
    // Hands every record so far to the operating system; false when it cannot.
    bool flush();
    QString errorText() const;

private:
    PollCapture() = default;
};

} // namespace poll
