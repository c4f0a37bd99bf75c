#include "transaction/replyprogress.h"

#include "frame/rtuframe.h"

namespace transaction
{

namespace
{

constexpr quint8 kExceptionBit = 0x80;
constexpr qsizetype kExceptionLength = 5;

// Judges body as the reply itself, with no echo in front.
ReplyProgress judgeBody(QByteArrayView request, QByteArrayView body)
{
    const quint8 address = quint8(request[0]);
    const quint8 function = quint8(request[1]);
    if (body.isEmpty())
        return ReplyProgress::Awaiting;
    if (quint8(body[0]) != address)
        return ReplyProgress::Unframed;
    if (body.size() < 2)
        return ReplyProgress::Awaiting;
    const quint8 replyFunction = quint8(body[1]);
    std::optional<qsizetype> length;
    if (replyFunction == function)
        length = frame::expectedResponseLength(request);
    else if (replyFunction == (function | kExceptionBit) && !(function & kExceptionBit))
        length = kExceptionLength;
    if (!length)
        return ReplyProgress::Unframed;
    if (body.size() < *length)
        return ReplyProgress::Awaiting;
    return frame::crcMatches(body.first(*length)) ? ReplyProgress::Complete
                                                  : ReplyProgress::Unframed;
}

} // namespace

ReplyProgress replyProgress(QByteArrayView request, QByteArrayView received, bool echoFirst)
{
    if (request.size() < 2)
        return received.isEmpty() ? ReplyProgress::Awaiting : ReplyProgress::Unframed;
    if (echoFirst) {
        if (received.size() < request.size())
            return request.startsWith(received) ? ReplyProgress::Awaiting : ReplyProgress::Unframed;
        if (!received.startsWith(request))
            return ReplyProgress::Unframed;
        return replyProgress(request, received.sliced(request.size()));
    }
    if (quint8(request[0]) == frame::kBroadcastAddress)
        return received.isEmpty() ? ReplyProgress::Complete : ReplyProgress::Unframed;
    // The reply of 05 and 06 is the request itself, and the reply of 0F and 10 begins like it:
    // the bytes as they are come first, then an echo of the request in front of them.
    const ReplyProgress asReceived = judgeBody(request, received);
    if (asReceived == ReplyProgress::Complete)
        return asReceived;
    if (request.startsWith(received))
        return ReplyProgress::Awaiting;
    if (received.startsWith(request))
        return judgeBody(request, received.sliced(request.size()));
    return asReceived;
}

} // namespace transaction
