#include "transaction/verdict.h"

#include "frame/crc16.h"
#include "frame/hextext.h"
#include "frame/rtuframe.h"
#include "serial/linetiming.h"

#include <QCoreApplication>
#include <QStringList>
#include <span>

namespace transaction
{

namespace
{

using frame::byteText;
using frame::crcText;

constexpr quint8 kExceptionBit = 0x80;
constexpr qsizetype kExceptionLength = 5;
// Address, function and the two CRC bytes: the smallest frame.
constexpr qsizetype kShortestFrame = 4;

QString tr(const char *text)
{
    return QCoreApplication::translate("Verdict", text);
}

quint8 byteAt(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint8>(bytes.at(i));
}

// The genuine reply of these function codes repeats the 8-byte request as it is.
bool replyMayEqualRequest(quint8 function)
{
    return function == 0x05 || function == 0x06 || function == 0x0F || function == 0x10;
}

QString milliseconds(std::chrono::microseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0, 'f', 1);
}

// "9600 N,8,1"
QString lineText(const serial::CommSettings &settings)
{
    QString text = serial::settingsText(settings);
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma >= 0)
        text[comma] = QLatin1Char(' ');
    return text;
}

QString bytesBy(const char *one, const char *many, qsizetype count)
{
    return count == 1 ? tr(one) : tr(many).arg(count);
}

QString factsText(const Verdict &v)
{
    QStringList facts;
    switch (v.crc) {
    case Verdict::Crc::Good:
        facts << tr("CRC %1 good").arg(crcText(v.crcReceived));
        break;
    case Verdict::Crc::Bad:
        facts << tr("CRC %1 bad, expected %2").arg(crcText(v.crcReceived), crcText(v.crcExpected));
        break;
    case Verdict::Crc::Absent:
        facts << tr("too short for a CRC");
        break;
    }

    if (v.replyLength >= 1) {
        QString who = v.slaveMatches ? tr("slave %1").arg(byteText(v.replySlave))
                                     : tr("slave %1 instead of %2")
                                           .arg(byteText(v.replySlave), byteText(v.requestSlave));
        if (v.replyLength >= 2)
            who += v.functionMatches
                       ? tr(", function %1").arg(byteText(v.replyFunction))
                       : tr(", function %1 instead of %2")
                             .arg(byteText(v.replyFunction), byteText(v.requestFunction));
        facts << who;
    }

    if (v.expectedLength)
        facts << tr("%1 of %2 bytes").arg(v.replyLength).arg(*v.expectedLength);
    else if (!v.functionMatches && v.replyLength >= 2)
        facts << bytesBy("1 byte", "%1 bytes", v.replyLength);
    else
        facts << bytesBy("1 byte, no known length for function %2",
                         "%1 bytes, no known length for function %2", v.replyLength)
                     .arg(byteText(v.requestFunction));
    return facts.join(QStringLiteral("; "));
}

QString timesText(const Verdict &v, bool capital)
{
    if (!v.firstByteAfter || !v.lastByteAfter)
        return {};
    return (capital ? tr("First byte %1 ms, last byte %2 ms after the request")
                    : tr("first byte %1 ms, last byte %2 ms after the request"))
        .arg(milliseconds(*v.firstByteAfter), milliseconds(*v.lastByteAfter));
}

QString waitText(const Verdict &v, bool capital)
{
    return (capital ? tr("The wait of %1 ms is shorter than the %2 ms the exchange needs on the "
                         "wire at %3")
                    : tr("the wait of %1 ms is shorter than the %2 ms the exchange needs on the "
                         "wire at %3"))
        .arg(v.wait->count())
        .arg(v.neededWaitMs)
        .arg(lineText(v.settings));
}

QString headline(const Verdict &v)
{
    switch (v.summary) {
    case Verdict::Summary::NoReply: {
        QString text = v.requestSlave == 0
                           ? tr("No reply, as it should be: a broadcast to slave 00 gets none")
                           : tr("No reply");
        if (v.waitTooShort)
            text += QStringLiteral(": ") + waitText(v, false);
        return text;
    }
    case Verdict::Summary::NoEcho:
        return tr("No echo: the bytes that came back do not begin with the request, which the "
                  "adapter should read back first");
    case Verdict::Summary::Echo:
        return (v.replyLength == 0
                    ? tr("Echo: only the %1 request bytes came back, no reply after them (an "
                         "adapter that reads back what it sends)")
                    : tr("Echo: the %1 request bytes came back in front of the reply (an adapter "
                         "that reads back what it sends)"))
            .arg(v.echoLength);
    case Verdict::Summary::Short: {
        QString text = v.lengthDifference < 0
                           ? bytesBy("Short by 1 byte", "Short by %1 bytes", -v.lengthDifference)
                           : tr("Short: too few bytes for address, function and CRC");
        if (v.waitTooShort)
            text += tr(": the wait ended before the reply; at %1 the exchange needs %2 ms on the "
                       "wire, the wait was %3 ms")
                        .arg(lineText(v.settings))
                        .arg(v.neededWaitMs)
                        .arg(v.wait->count());
        return text;
    }
    case Verdict::Summary::Long:
        return bytesBy("Long by 1 byte", "Long by %1 bytes", v.lengthDifference);
    case Verdict::Summary::BadCrc:
        return tr("Bad CRC: got %1, expected %2")
            .arg(crcText(v.crcReceived), crcText(v.crcExpected));
    case Verdict::Summary::WrongSlave:
        return tr("Wrong slave: reply from %1, request to %2")
            .arg(byteText(v.replySlave), byteText(v.requestSlave));
    case Verdict::Summary::WrongFunction:
        return tr("Wrong function: %1 in the reply, %2 in the request")
            .arg(byteText(v.replyFunction), byteText(v.requestFunction));
    case Verdict::Summary::Exception:
        return tr("Exception %1: %2")
            .arg(byteText(v.exceptionCode), exceptionName(v.exceptionCode));
    case Verdict::Summary::Valid:
        return tr("Valid reply");
    }
    return {};
}

} // namespace

std::optional<qsizetype> expectedReplyLength(QByteArrayView request)
{
    if (request.size() < 2)
        return std::nullopt;
    const quint8 function = quint8(request[1]);
    // A request 17 without its write part is no such request.
    if (function == 0x17 && frame::rtuFrameLength(request, frame::Direction::Request).status !=
                                frame::FrameLength::Status::Known)
        return std::nullopt;
    // A broadcast is judged as the same request to one slave would be.
    QByteArray addressed = request.toByteArray();
    if (quint8(addressed[0]) == frame::kBroadcastAddress)
        addressed[0] = 1;
    if (const std::optional<qsizetype> length = frame::expectedResponseLength(addressed))
        return length;
    // A read quantity the slave must refuse: a normal reply is judged by the length it announces.
    if (function >= 0x01 && function <= 0x04 && request.size() >= 6) {
        const qsizetype quantity = qsizetype(quint8(request[4])) << 8 | quint8(request[5]);
        return function <= 0x02 ? 5 + (quantity + 7) / 8 : 5 + 2 * quantity;
    }
    return std::nullopt;
}

std::optional<qsizetype> expectedReplyLength(const frame::RequestFrame &request)
{
    return expectedReplyLength(QByteArrayView(frame::frameBytes(request)));
}

int wireTimeMs(qsizetype requestBytes, qsizetype replyBytes, const serial::CommSettings &settings)
{
    if (settings.baudRate <= 0)
        return 0;
    // Twice the characters (the gap is 3.5) times half bits: four times the bits.
    const qint64 quarterBits =
        (2 * qint64(requestBytes + replyBytes) + 7) * serial::halfBitsPerCharacter(settings);
    const qint64 divisor = 4 * qint64(settings.baudRate);
    return int((quarterBits * 1000 + divisor - 1) / divisor);
}

Verdict judgeReply(const frame::RequestFrame &request, const QByteArray &reply,
                   const ReplyTimes &times, const serial::CommSettings &settings)
{
    return judgeReply(QByteArrayView(frame::frameBytes(request)), reply, times, settings);
}

Verdict judgeReply(QByteArrayView request, const QByteArray &reply, const ReplyTimes &times,
                   const serial::CommSettings &settings, EchoTaken echo)
{
    using std::chrono::duration_cast;
    using std::chrono::microseconds;

    Verdict v;
    v.settings = settings;
    v.wait = times.wait;
    const frame::RtuFrame asked = frame::decodeRtuFrame(request, frame::Direction::Request);
    v.requestSlave = asked.address;
    v.requestFunction = asked.function;

    // The reply of 05 and 06 (and of the window's 8-byte 0F and 10) is the request itself.
    const bool replyMayBeRequest =
        replyMayEqualRequest(v.requestFunction) && expectedReplyLength(request) == request.size();
    if (echo == EchoTaken::NotExpected && !request.isEmpty() &&
        QByteArrayView(reply).startsWith(request) &&
        (reply.size() > request.size() || !replyMayBeRequest))
        v.echoLength = request.size();
    const QByteArray body = reply.mid(v.echoLength);
    if (echo == EchoTaken::Removed)
        v.echoLength = request.size();
    v.replyLength = body.size();

    if (v.replyLength >= 1) {
        v.replySlave = byteAt(body, 0);
        v.slaveMatches = v.replySlave == v.requestSlave;
    }
    if (v.replyLength >= 2) {
        v.replyFunction = byteAt(body, 1);
        v.exception = v.replyFunction != v.requestFunction &&
                      v.replyFunction == (v.requestFunction | kExceptionBit);
        v.functionMatches = v.replyFunction == v.requestFunction || v.exception;
    }
    if (v.exception && v.replyLength >= 3)
        v.exceptionCode = byteAt(body, 2);

    if (v.exception)
        v.expectedLength = kExceptionLength;
    else if (v.functionMatches || (v.replyLength < 2 && !reply.isEmpty()))
        v.expectedLength = expectedReplyLength(request);
    if (v.expectedLength)
        v.lengthDifference = v.replyLength - *v.expectedLength;

    if (v.replyLength >= kShortestFrame) {
        const auto *data = reinterpret_cast<const std::uint8_t *>(body.constData());
        v.crcExpected =
            frame::crc16Modbus(std::span<const std::uint8_t>(data, std::size_t(v.replyLength - 2)));
        v.crcReceived =
            quint16(byteAt(body, v.replyLength - 2) | byteAt(body, v.replyLength - 1) << 8);
        v.crc = v.crcReceived == v.crcExpected ? Verdict::Crc::Good : Verdict::Crc::Bad;
    }

    if (!reply.isEmpty() && times.written && times.firstByte && times.lastByte) {
        v.firstByteAfter = duration_cast<microseconds>(*times.firstByte - *times.written);
        v.lastByteAfter = duration_cast<microseconds>(*times.lastByte - *times.written);
    }

    // A broadcast (slave 00) gets no reply: no wait is too short for it.
    const std::optional<qsizetype> wireReply =
        reply.isEmpty() ? expectedReplyLength(request)
                        : std::optional(v.expectedLength.value_or(v.replyLength));
    if (wireReply && !(reply.isEmpty() && v.requestSlave == 0))
        v.neededWaitMs = wireTimeMs(request.size(), *wireReply, settings);
    v.waitTooShort = v.wait && v.neededWaitMs > 0 && v.wait->count() < v.neededWaitMs;

    using S = Verdict::Summary;
    // After an echo taken off, nothing is no reply only for a broadcast, which must get none.
    if (reply.isEmpty() && (echo != EchoTaken::Removed || v.requestSlave == 0))
        v.summary = S::NoReply;
    else if (echo == EchoTaken::Missing)
        v.summary = S::NoEcho;
    else if (v.echoLength > 0 && (echo == EchoTaken::NotExpected || reply.isEmpty()))
        v.summary = S::Echo;
    else if (v.lengthDifference < 0 || v.crc == Verdict::Crc::Absent)
        v.summary = S::Short;
    else if (v.lengthDifference > 0)
        v.summary = S::Long;
    else if (v.crc == Verdict::Crc::Bad)
        v.summary = S::BadCrc;
    else if (!v.slaveMatches)
        v.summary = S::WrongSlave;
    else if (!v.functionMatches)
        v.summary = S::WrongFunction;
    else if (v.exception)
        v.summary = S::Exception;
    else
        v.summary = S::Valid;
    v.valid = v.summary == S::Valid;
    return v;
}

QString exceptionName(int code)
{
    switch (code) {
    case 0x01:
        return tr("Illegal function");
    case 0x02:
        return tr("Illegal data address");
    case 0x03:
        return tr("Illegal data value");
    case 0x04:
        return tr("Server device failure");
    case 0x05:
        return tr("Acknowledge");
    case 0x06:
        return tr("Server device busy");
    case 0x07:
        return tr("Negative acknowledge");
    case 0x08:
        return tr("Memory parity error");
    case 0x0A:
        return tr("Gateway path unavailable");
    case 0x0B:
        return tr("Gateway target device failed to respond");
    default:
        return tr("Unknown exception");
    }
}

QString summaryWord(Verdict::Summary summary)
{
    switch (summary) {
    case Verdict::Summary::NoReply:
        return tr("no reply");
    case Verdict::Summary::NoEcho:
        return tr("no echo");
    case Verdict::Summary::Echo:
        return tr("echo");
    case Verdict::Summary::Short:
        return tr("short");
    case Verdict::Summary::Long:
        return tr("long");
    case Verdict::Summary::BadCrc:
        return tr("bad CRC");
    case Verdict::Summary::WrongSlave:
        return tr("wrong slave");
    case Verdict::Summary::WrongFunction:
        return tr("wrong function");
    case Verdict::Summary::Exception:
        return tr("exception");
    case Verdict::Summary::Valid:
        return tr("valid");
    }
    return {};
}

QString verdictText(const Verdict &v)
{
    QStringList lines;
    if (v.summary == Verdict::Summary::Valid) {
        QString line = headline(v) + QStringLiteral(": ") + factsText(v);
        if (v.firstByteAfter)
            line += QStringLiteral("; ") + timesText(v, false);
        lines << line;
    } else {
        lines << headline(v);
        if (v.replyLength > 0)
            lines << (v.echoLength > 0 ? tr("After the echo: %1").arg(factsText(v)) : factsText(v));
        if (v.firstByteAfter)
            lines << timesText(v, true);
    }
    // No reply and a short one say it in their headline.
    if (v.waitTooShort && v.summary != Verdict::Summary::NoReply &&
        v.summary != Verdict::Summary::Short)
        lines << waitText(v, true);
    return lines.join(QLatin1Char('\n'));
}

} // namespace transaction
