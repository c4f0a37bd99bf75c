#pragma once

#include "frame/request.h"
#include "serial/commsettings.h"
#include "transaction/exchange.h"
#include "transaction/verdict.h"

#include <QByteArray>
#include <QString>
#include <array>

namespace transaction
{

// What one completed exchange shows, put together once for every program: the line of the
// receive log, the read-outs, the verdict and the times.
struct ExchangeOutcome {
    QByteArray request; // the bytes as sent
    QByteArray reply;   // every byte read at the end of the wait
    QString logLine;    // the reply as a line of the receive log, CR LF included (see logLine)
    // Read-outs 1 to 3 (see registerReadout); empty where none is shown.
    std::array<QString, 3> readouts;
    Verdict verdict;
    QString verdictText; // a headline and a few lines of detail (see verdictText)
    // A valid reply, or no reply to a broadcast (address 00), which must get none.
    bool passed = false;
    ReplyTimes times; // as the exchange measured them
};

// The outcome of result, a completed exchange of request run at the line settings line.
// registerCountText is the register count (hexadecimal text) as it stands when the outcome is
// shown: the read-outs follow it, not the count that was sent.
ExchangeOutcome exchangeOutcome(const frame::RequestFrame &request, const ExchangeResult &result,
                                const serial::CommSettings &line, const QString &registerCountText);

// The same for any request bytes as sent (see judgeReply): the poller's, the scanner's and the
// monitor's requests. The read-outs follow registerCountText as above; with an empty one none is
// shown. A broadcast passes when nothing came back.
ExchangeOutcome exchangeOutcome(const QByteArray &request, const ExchangeResult &result,
                                const serial::CommSettings &line,
                                const QString &registerCountText = {});

} // namespace transaction
