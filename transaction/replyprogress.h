#pragma once

#include <QByteArrayView>

namespace transaction
{

// How far the bytes received after a request are from being its reply.
enum class ReplyProgress {
    // They may still become the reply expected for the request: nothing yet, part of it, or part
    // of an echo of the request. A silence ends nothing: a reply may come in pieces.
    Awaiting,
    // The reply expected for the request, normal or exception, is complete with a right CRC
    // (after a leading exact echo of the request); bytes after it are not looked at. For a
    // broadcast (address 0) with nothing received: no reply is owed.
    Complete,
    // They cannot be the expected reply, or its length is unknown (a function without a length
    // rule, a read quantity out of range, bytes after a broadcast): only a silence of 3.5
    // characters ends them.
    Unframed,
};

// Judges received, every byte read since request was written. Safe for any bytes of any size.
//
// The bytes are judged as they are first: the normal reply of 05 and 06 is the request itself,
// so 8 bytes equal to the request are the reply. Bytes that are not a complete reply but still a
// prefix of the request are Awaiting (an echo on its way); an exact echo in front is stripped.
// Then another address, or a function that is neither the request's nor its exception
// (function | 0x80), is Unframed; so is a wrong CRC at the expected length (5 for an exception).
//
// With echoFirst (an adapter that reads back every request is known to be there) the request's
// bytes must come first: until they have, the bytes are Awaiting, and bytes that differ from them
// are Unframed; the bytes after them are judged as the reply alone, and for a broadcast the echo
// alone is Complete.
ReplyProgress replyProgress(QByteArrayView request, QByteArrayView received,
                            bool echoFirst = false);

} // namespace transaction
