#include "transaction/exchangeoutcome.h"

#include "transaction/logline.h"
#include "transaction/readout.h"

namespace transaction
{

ExchangeOutcome exchangeOutcome(const frame::RequestFrame &request, const ExchangeResult &result,
                                const serial::CommSettings &line, const QString &registerCountText)
{
    return exchangeOutcome(frame::frameBytes(request), result, line, registerCountText);
}

ExchangeOutcome exchangeOutcome(const QByteArray &request, const ExchangeResult &result,
                                const serial::CommSettings &line, const QString &registerCountText)
{
    ExchangeOutcome outcome;
    outcome.request = request;
    outcome.reply = result.reply;
    outcome.logLine = logLine(result.reply);
    for (qint32 k = 1; k <= qint32(outcome.readouts.size()); ++k)
        outcome.readouts[std::size_t(k - 1)] = registerReadout(result.reply, registerCountText, k);
    outcome.verdict =
        judgeReply(QByteArrayView(request), result.reply, result.times, line, result.echo);
    outcome.verdictText = verdictText(outcome.verdict);
    outcome.passed =
        outcome.verdict.valid || (outcome.verdict.summary == Verdict::Summary::NoReply &&
                                  !request.isEmpty() && request[0] == 0);
    outcome.times = result.times;
    return outcome;
}

} // namespace transaction
