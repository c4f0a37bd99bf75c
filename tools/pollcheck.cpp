#include "pollcheck.h"

#include "transaction/verdict.h"

namespace poll
{

ReplyCheck checkReply(const frame::RequestFrame &request, const transaction::ExchangeResult &result,
                      const serial::CommSettings &settings, int waitMs)
{
    // Without a reply there are no arrival times; the verdict then does not look at them.
    const transaction::Clock::time_point written =
        result.written.value_or(transaction::Clock::now());
    const transaction::ReplyTimes times{written, result.firstByte.value_or(written),
                                        result.lastByte.value_or(written),
                                        std::chrono::milliseconds(waitMs)};
    const transaction::Verdict verdict =
        transaction::judgeReply(request, result.reply, times, settings);
    const bool broadcastUnanswered =
        verdict.summary == transaction::Verdict::Summary::NoReply && request[0] == 0;
    return {verdict.valid || broadcastUnanswered, transaction::summaryWord(verdict.summary),
            transaction::verdictText(verdict).section(QLatin1Char('\n'), 0, 0)};
}

} // namespace poll
