#pragma once

#include "frame/request.h"
#include "serial/commsettings.h"
#include "transaction/exchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <optional>

namespace transaction
{

// What the bytes that came back after a request amount to.
struct Verdict {
    // The one word for the whole reply; the first that applies in this order.
    enum class Summary {
        NoReply,       // nothing came back
        NoEcho,        // an echo of the request was expected in front, and the bytes lack it
        Echo,          // the request read back in front of the reply (or alone)
        Short,         // fewer bytes than the function code asks for
        Long,          // more bytes than the function code asks for
        BadCrc,        // the last two bytes are not the CRC of the others
        WrongSlave,    // another address than the request's
        WrongFunction, // neither the request's function nor its exception
        Exception,     // a well-formed exception reply
        Valid          // a well-formed normal reply
    };
    enum class Crc {
        Absent, // fewer than 4 bytes: no address, function and CRC to check
        Good,
        Bad
    };

    Summary summary = Summary::NoReply;
    // A normal reply to the request: good CRC, matching address and function, the expected
    // length when known, no echo. An exception reply, however well formed, is not valid: the
    // slave did not do what was asked.
    bool valid = false;

    // Bytes of the request read back in front of the reply: 0 or the request's length.
    // Everything below describes the reply after them. An echo that was expected and taken off
    // before the verdict counts here too; alone, it is Echo, else the reply decides.
    qsizetype echoLength = 0;
    qsizetype replyLength = 0;

    Crc crc = Crc::Absent;
    quint16 crcReceived = 0; // as a value: the last byte is the high byte
    quint16 crcExpected = 0; // CRC-16/MODBUS of the reply without its last two bytes

    quint8 requestSlave = 0;
    quint8 requestFunction = 0;
    quint8 replySlave = 0;    // 0 with an empty reply
    quint8 replyFunction = 0; // 0 with a reply shorter than 2 bytes
    bool slaveMatches = false;
    bool functionMatches = false; // the request's function, or that | 0x80 for an exception

    bool exception = false;
    quint8 exceptionCode = 0; // 0 when the exception reply is too short to hold one

    // Bytes the reply should have for the request (5 for an exception); empty for function
    // codes other than 01-06, 0F, 10 and 17, or when the reply's function does not match.
    std::optional<qsizetype> expectedLength;
    // replyLength - expectedLength: negative when bytes are missing, positive when extra;
    // 0 when the length is unknown.
    qsizetype lengthDifference = 0;

    // From the return of the request's write to the first and last reply byte; empty without
    // a reply.
    std::optional<std::chrono::microseconds> firstByteAfter;
    std::optional<std::chrono::microseconds> lastByteAfter;

    // The time the request, the reply (its expected length, else the bytes received) and a
    // 3.5-character gap take on the wire, in whole milliseconds rounded up; 0 when unknown.
    int neededWaitMs = 0;
    std::optional<std::chrono::milliseconds> wait;
    bool waitTooShort = false; // the wait was shorter than neededWaitMs
    serial::CommSettings settings;
};

// Bytes of a normal reply to request, as the frame decoder gives them (expectedResponseLength):
// 01/02: 5 + ceil(quantity / 8), 03/04: 5 + 2 x quantity, 05/06/0F/10: 8, 17 (a whole request):
// 5 + 2 x read quantity. A broadcast counts as the same request to one slave; a read quantity
// out of range (a slave refuses it) still gives the length its count would. Empty for every other
// function code.
std::optional<qsizetype> expectedReplyLength(QByteArrayView request);
// The same for the window's 8-byte request.
std::optional<qsizetype> expectedReplyLength(const frame::RequestFrame &request);

// Milliseconds, rounded up, that requestBytes + replyBytes characters and the 3.5-character gap
// after them take at the speed and framing of settings.
int wireTimeMs(qsizetype requestBytes, qsizetype replyBytes, const serial::CommSettings &settings);

// Judges reply, everything read after request was written (the bytes as sent): any request,
// reads (01-04, 17) and writes (05, 06, 0F, 10) alike; a broadcast (address 00) should get none.
// echo tells whether an echo of the request was expected and taken off reply already (see
// Exchange::setEchoFirst): Removed, reply is what followed it; Missing, bytes that came back
// without it are NoEcho, never valid.
Verdict judgeReply(QByteArrayView request, const QByteArray &reply, const ReplyTimes &times,
                   const serial::CommSettings &settings, EchoTaken echo = EchoTaken::NotExpected);
// The same for the window's 8-byte request.
Verdict judgeReply(const frame::RequestFrame &request, const QByteArray &reply,
                   const ReplyTimes &times, const serial::CommSettings &settings);

// The name of a Modbus exception code, 01 to 0B; "Unknown exception" for 09 and the rest.
QString exceptionName(int code);

// One word or two for the summary: "valid", "bad CRC", "exception", "short", ...
QString summaryWord(Verdict::Summary summary);

// A few lines of plain text for a tool tip, separated by '\n'.
QString verdictText(const Verdict &verdict);

} // namespace transaction
