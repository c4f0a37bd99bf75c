#pragma once

#include "frame/request.h"
#include "serial/commsettings.h"
#include "transaction/exchange.h"

#include <QString>
#include <optional>

namespace poll
{

// What wirelark-poll makes of one reply: the one place where a reply is judged.
struct ReplyCheck {
    // A valid normal reply (see transaction::Verdict::valid; an exception reply is not one), or
    // no reply to a broadcast (address 00), which must get none.
    bool valid = false;
    QString word;   // "valid", "no reply", "bad CRC", ...
    QString detail; // one line: "Bad CRC: got 1234, expected 5678", ...
    // From the return of the request's write to the first and last reply byte, in
    // milliseconds to the microsecond; empty without a reply.
    std::optional<double> firstByteMs;
    std::optional<double> lastByteMs;
};

// Judges the reply of a completed exchange of request, sent with settings.
ReplyCheck checkReply(const frame::RequestFrame &request, const transaction::ExchangeResult &result,
                      const serial::CommSettings &settings);

} // namespace poll
