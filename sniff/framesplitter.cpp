#include "sniff/framesplitter.h"

#include <algorithm>

namespace sniff
{

namespace
{

using frame::Direction;
using Status = frame::FrameLength::Status;

constexpr quint8 kExceptionBit = 0x80;
constexpr qsizetype kExceptionLength = 5;
// Undecided bytes before the buffer drops what lies before them.
constexpr qsizetype kCompactAfter = 65536;

bool lengthUnknown(QByteArrayView bytes, Direction direction)
{
    return frame::rtuFrameLength(bytes, direction).status == Status::Unknown;
}

} // namespace

FrameSplitter::FrameSplitter(SplitTiming timing) : m_timing(timing) {}

std::vector<SplitItem> FrameSplitter::feed(QByteArrayView bytes, Time read)
{
    std::vector<SplitItem> out;
    if (bytes.isEmpty() || m_finished)
        return out;
    const bool silence =
        m_silenceAtEnd ||
        (m_timing.known && m_lastRead &&
         read - *m_lastRead >= m_timing.frameGap + m_timing.latency + m_timing.character);
    m_buffer.append(bytes.data(), bytes.size());
    m_reads.push_back({m_end, m_end + bytes.size(), read, ++m_readSerial, silence});
    m_end += bytes.size();
    m_lastRead = read;
    m_silenceAtEnd = false;
    decide(out);
    return out;
}

std::vector<SplitItem> FrameSplitter::idle(Time now)
{
    std::vector<SplitItem> out;
    if (!m_timing.known || !m_lastRead || m_silenceAtEnd || m_finished ||
        now - *m_lastRead < m_timing.frameGap + m_timing.latency)
        return out;
    m_silenceAtEnd = true;
    decide(out);
    return out;
}

std::vector<SplitItem> FrameSplitter::finish()
{
    std::vector<SplitItem> out;
    m_finished = true;
    decide(out);
    return out;
}

std::optional<Time> FrameSplitter::decisionDue() const
{
    if (!m_timing.known || !m_lastRead || m_silenceAtEnd || m_finished ||
        (available() == 0 && m_noise.isEmpty()))
        return std::nullopt;
    return *m_lastRead + m_timing.frameGap + m_timing.latency;
}

quint8 FrameSplitter::byteAt(qsizetype offset) const
{
    return quint8(m_buffer[qsizetype(m_start - m_base) + offset]);
}

QByteArrayView FrameSplitter::pending() const
{
    return QByteArrayView(m_buffer).sliced(qsizetype(m_start - m_base), available());
}

const FrameSplitter::Read &FrameSplitter::readOf(qsizetype offset) const
{
    const qint64 at = m_start + offset;
    for (const Read &read : m_reads)
        if (at < read.end)
            return read;
    return m_reads.back();
}

bool FrameSplitter::silenceAt(qsizetype offset) const
{
    if (offset == available())
        return m_silenceAtEnd;
    const qint64 at = m_start + offset;
    for (const Read &read : m_reads) {
        if (read.start == at)
            return read.silenceBefore;
        if (read.start > at)
            break;
    }
    return false;
}

std::optional<qsizetype> FrameSplitter::silenceWithin(qsizetype from, qsizetype to) const
{
    for (const Read &read : m_reads) {
        const qint64 offset = read.start - m_start;
        if (offset > to)
            break;
        if (offset > from && read.silenceBefore)
            return qsizetype(offset);
    }
    if (to == available() && from < to && m_silenceAtEnd)
        return to;
    return std::nullopt;
}

FrameSplitter::Candidate FrameSplitter::knownLength(QByteArrayView bytes, Direction direction) const
{
    const frame::FrameLength length = frame::rtuFrameLength(bytes, direction);
    switch (length.status) {
    case Status::NeedMore:
        return {Fit::NeedMore, length.length};
    case Status::Known:
        if (length.length > bytes.size())
            return {Fit::NeedMore, length.length};
        return {frame::crcMatches(bytes.first(length.length)) ? Fit::Good : Fit::Bad,
                length.length};
    case Status::Unknown:
    case Status::TooLong:
        break;
    }
    return {};
}

FrameSplitter::Candidate FrameSplitter::candidate(Direction direction) const
{
    const Candidate found = knownLength(pending(), direction);
    switch (found.fit) {
    case Fit::NeedMore:
        if (m_finished || silenceWithin(0, available()))
            return {};
        return found;
    case Fit::Bad:
        if (silenceWithin(0, found.length - 1))
            return {};
        return found;
    case Fit::Good:
    case Fit::None:
        break;
    }
    return found;
}

FrameSplitter::Fit FrameSplitter::endsAt(qsizetype offset) const
{
    if (silenceAt(offset))
        return Fit::Good;
    if (offset == available())
        return m_finished ? Fit::Good : Fit::NeedMore;
    return Fit::None;
}

bool FrameSplitter::goodFrameWithin(qsizetype length) const
{
    for (qsizetype offset = 1; offset < length; ++offset)
        if (goodFrameAt(offset))
            return true;
    return false;
}

bool FrameSplitter::goodFrameAt(qsizetype offset) const
{
    const QByteArrayView after = pending().sliced(offset);
    return knownLength(after, Direction::Request).fit == Fit::Good ||
           knownLength(after, Direction::Response).fit == Fit::Good;
}

FrameSplitter::Fit FrameSplitter::followedAt(qsizetype offset) const
{
    if (silenceAt(offset))
        return Fit::Good;
    if (offset == available())
        return m_finished ? Fit::Good : Fit::NeedMore;
    const QByteArrayView after = pending().sliced(offset);
    const bool cut = m_finished || silenceWithin(offset, available());
    Fit result = Fit::None;
    for (const Direction direction : {Direction::Request, Direction::Response}) {
        const Fit fit = knownLength(after, direction).fit;
        if (fit == Fit::Good)
            return Fit::Good;
        if (fit == Fit::NeedMore && !cut)
            result = Fit::NeedMore;
    }
    return result;
}

FrameSplitter::Candidate FrameSplitter::unknownLength() const
{
    const QByteArrayView bytes = pending();
    const qsizetype reach = std::min(available(), frame::kMaxRtuFrameLength);
    const std::optional<qsizetype> silence = silenceWithin(0, reach);
    const qsizetype last = silence.value_or(reach);
    for (qsizetype length = 1; length <= last; ++length) {
        const bool crcEnds =
            length >= frame::kMinRtuFrameLength && frame::crcMatches(bytes.first(length));
        // A good frame that begins inside ends the search: before it lies noise, or this frame
        // when its CRC ends right there.
        if (length < available() && goodFrameAt(length))
            return crcEnds ? Candidate{Fit::Good, length} : Candidate{};
        if (!crcEnds)
            continue;
        const Fit fit = followedAt(length);
        if (fit == Fit::Good)
            return {Fit::Good, length};
        if (fit == Fit::NeedMore)
            return {Fit::NeedMore, length};
    }
    if (silence)
        return *silence >= frame::kMinRtuFrameLength ? Candidate{Fit::Bad, *silence} : Candidate{};
    if (m_finished || available() >= frame::kMaxRtuFrameLength)
        return {};
    return {Fit::NeedMore, 0};
}

bool FrameSplitter::isWaitedReply(QByteArrayView bytes, qsizetype length) const
{
    if (!m_waiting || quint8(bytes[0]) != m_waiting->address)
        return false;
    const quint8 function = quint8(bytes[1]);
    if (function == (m_waiting->function | kExceptionBit))
        return length == kExceptionLength;
    return function == m_waiting->function &&
           (!m_waiting->replyLength || *m_waiting->replyLength == length);
}

Direction FrameSplitter::preferred(bool requestFits, bool responseFits) const
{
    if (requestFits && responseFits) {
        const bool answers = m_waiting && byteAt(0) == m_waiting->address &&
                             (byteAt(1) == m_waiting->function ||
                              byteAt(1) == (m_waiting->function | kExceptionBit));
        return answers ? Direction::Response : Direction::Request;
    }
    return responseFits ? Direction::Response : Direction::Request;
}

void FrameSplitter::decide(std::vector<SplitItem> &out)
{
    while (true) {
        if (silenceAt(0)) {
            flushNoise(out);
            m_atBoundary = true;
        }
        if (available() == 0) {
            if (m_finished)
                flushNoise(out);
            return;
        }
        const Candidate request = candidate(Direction::Request);
        const Candidate response = candidate(Direction::Response);
        if (request.fit == Fit::Good || response.fit == Fit::Good) {
            // A frame whose first bytes hold a good frame of the other direction (a request
            // 01 or 02 less its last byte can be a reply) waits for its own length, unless it
            // is the reply that the waiting request calls for.
            const bool waitedReply =
                response.fit == Fit::Good && isWaitedReply(pending(), response.length);
            if (!waitedReply && (request.fit == Fit::NeedMore || response.fit == Fit::NeedMore))
                return;
            const Direction direction =
                waitedReply ? Direction::Response
                            : preferred(request.fit == Fit::Good, response.fit == Fit::Good);
            emitFrame(direction == Direction::Request ? request.length : response.length, direction,
                      true, out);
            continue;
        }
        if (response.fit == Fit::Bad && isWaitedReply(pending(), response.length)) {
            emitFrame(response.length, Direction::Response, false, out);
            continue;
        }
        if (m_atBoundary && available() >= 2 && lengthUnknown(pending(), Direction::Request) &&
            lengthUnknown(pending(), Direction::Response)) {
            const Candidate unknown = unknownLength();
            if (unknown.fit == Fit::NeedMore)
                return;
            if (unknown.fit != Fit::None) {
                emitFrame(unknown.length, preferred(true, true), unknown.fit == Fit::Good, out);
                continue;
            }
        }
        if (request.fit == Fit::NeedMore || response.fit == Fit::NeedMore)
            return;
        if (m_atBoundary) {
            bool waitForMore = false;
            bool taken = false;
            const Direction first = preferred(true, true);
            for (const Direction direction :
                 {first, first == Direction::Request ? Direction::Response : Direction::Request}) {
                const Candidate &bad = direction == Direction::Request ? request : response;
                if (bad.fit != Fit::Bad)
                    continue;
                const Fit follow = endsAt(bad.length);
                if (follow == Fit::Good && !goodFrameWithin(bad.length)) {
                    emitFrame(bad.length, direction, false, out);
                    taken = true;
                    break;
                }
                waitForMore = waitForMore || follow == Fit::NeedMore;
            }
            if (taken)
                continue;
            if (waitForMore)
                return;
        }
        takeNoiseByte();
        m_atBoundary = false;
    }
}

void FrameSplitter::emitFrame(qsizetype length, Direction direction, bool crcGood,
                              std::vector<SplitItem> &out)
{
    flushNoise(out);
    const Read &first = readOf(0);
    const Read &last = readOf(length - 1);
    SplitItem item;
    item.kind =
        direction == Direction::Request ? SplitItem::Kind::Request : SplitItem::Kind::Response;
    item.bytes = pending().first(length).toByteArray();
    item.index = m_nextIndex++;
    item.firstRead = first.time;
    item.lastRead = last.time;
    item.crcGood = crcGood;
    const quint8 address = byteAt(0);
    const quint8 function = byteAt(1);
    if (direction == Direction::Request) {
        if (m_waiting)
            item.unanswered = m_waiting->index;
        m_waiting.reset();
        if (address != frame::kBroadcastAddress)
            m_waiting = Waiting{address,    function,  frame::expectedResponseLength(item.bytes),
                                item.index, last.time, last.serial};
    } else if (m_waiting && address == m_waiting->address &&
               (function == m_waiting->function ||
                function == (m_waiting->function | kExceptionBit))) {
        item.request = m_waiting->index;
        if (m_timing.known && first.serial != m_waiting->lastSerial) {
            const Time start = std::min<Time>(last.time - std::int64_t(length) * m_timing.character,
                                              first.time - m_timing.character);
            item.responseTime = std::max(Time(0), start - m_waiting->lastRead);
        }
        m_waiting.reset();
    }
    out.push_back(std::move(item));
    drop(length);
    m_atBoundary = true;
}

void FrameSplitter::takeNoiseByte()
{
    const Time read = readOf(0).time;
    if (m_noise.isEmpty())
        m_noiseFirst = read;
    m_noiseLast = read;
    m_noise.append(char(byteAt(0)));
    drop(1);
}

void FrameSplitter::flushNoise(std::vector<SplitItem> &out)
{
    if (m_noise.isEmpty())
        return;
    SplitItem item;
    item.kind = SplitItem::Kind::Noise;
    item.bytes = m_noise;
    item.index = m_nextIndex++;
    item.firstRead = m_noiseFirst;
    item.lastRead = m_noiseLast;
    out.push_back(std::move(item));
    m_noise.clear();
}

void FrameSplitter::drop(qsizetype count)
{
    m_start += count;
    while (!m_reads.empty() && m_reads.front().end <= m_start)
        m_reads.pop_front();
    const qsizetype done = qsizetype(m_start - m_base);
    if (done > kCompactAfter && done > m_buffer.size() / 2) {
        m_buffer.remove(0, done);
        m_base = m_start;
    }
}

} // namespace sniff
