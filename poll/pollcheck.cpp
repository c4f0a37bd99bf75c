#include "pollcheck.h"

#include "transaction/verdict.h"

namespace poll
{

ReplyCheck checkReply(const frame::RequestFrame &request, const transaction::ExchangeResult &result,
                      const serial::CommSettings &settings)
{
    const transaction::Verdict verdict =
        transaction::judgeReply(request, result.reply, result.times, settings);
    const bool broadcastUnanswered =
        verdict.summary == transaction::Verdict::Summary::NoReply && request[0] == 0;
    const auto milliseconds = [](const std::optional<std::chrono::microseconds> &after) {
        return after ? std::optional<double>(double(after->count()) / 1000.0) : std::nullopt;
    };
    return {verdict.valid || broadcastUnanswered, transaction::summaryWord(verdict.summary),
            transaction::verdictText(verdict).section(QLatin1Char('\n'), 0, 0),
            milliseconds(verdict.firstByteAfter), milliseconds(verdict.lastByteAfter)};
}

} // namespace poll
