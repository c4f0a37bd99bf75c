#pragma once

#include "frame/rtuframe.h"

#include <QByteArray>
#include <QByteArrayView>
#include <chrono>
#include <deque>
#include <optional>
#include <vector>

namespace sniff
{

// A time on one monotonic clock, from any origin.
using Time = std::chrono::nanoseconds;

// What the time stamps of the bytes tell. Bytes come in reads (a USB adapter's batches, or what
// the driver holds when the monitor reads); every byte of a read carries the read's time.
struct SplitTiming {
    // false: the times say nothing about the line (a recorded file); no silence is ever seen
    // and no response time is measured.
    bool known = false;
    std::chrono::nanoseconds character{0}; // one character on the wire
    std::chrono::nanoseconds frameGap{0};  // the silence that ends a frame: 3.5 characters
    // The longest time a byte may wait between its end on the wire and its read: the adapter's
    // latency timer and the monitor's own delay. Only a longer silence between reads is proof
    // of a silence on the line.
    std::chrono::nanoseconds latency{0};
};

// A frame or a run of noise bytes as the monitor reports it. Every byte fed comes out in
// exactly one item, in order.
struct SplitItem {
    enum class Kind { Request, Response, Noise };
    Kind kind = Kind::Noise;
    QByteArray bytes;
    qint64 index = 0;  // 0 for the first item, then counting up
    Time firstRead{0}; // the read that brought the first byte
    Time lastRead{0};  // the read that brought the last byte
    bool crcGood = false;
    // A response: the index of the request it answers (same address, the same function or the
    // same with 0x80 set); none when no such request was waiting.
    std::optional<qint64> request;
    // A request: the index of the earlier request that it proves unanswered.
    std::optional<qint64> unanswered;
    // A response: from the request's last byte to the response's first, where the two came in
    // different reads and the times are known. The start is estimated from the response's last
    // read and its length on the wire, so an adapter's batching adds up to its latency.
    std::optional<std::chrono::nanoseconds> responseTime;

    bool isFrame() const { return kind != Kind::Noise; }
    frame::Direction direction() const
    {
        return kind == Kind::Response ? frame::Direction::Response : frame::Direction::Request;
    }
};

// Splits the bytes that a passive monitor hears on an RTU bus into frames, both directions,
// with the frame decoder's lengths and CRC:
// - A frame of known length with a good CRC is taken wherever it begins. When both directions
//   fit (05 and 06 echo their request), the one the waiting request calls for wins.
// - A frame with a wrong CRC is taken when it is the reply the waiting request calls for
//   (address, function or exception, and length), or, at a frame boundary, when a silence or
//   the end of the input follows it and no good frame begins inside it. (A good frame after it
//   proves nothing: one noise byte and a request can read as a reply that ends right there.)
// - A good frame whose first bytes hold a good frame of the other direction waits until its
//   own length is in, unless the shorter one is the reply the waiting request calls for.
// - A function without a length rule is taken only at a frame boundary (after a frame or a
//   silence) and ends at the first good CRC that a silence, the end of the input or a good
//   frame follows, or else at the first silence (with a wrong CRC).
// - Anything else is noise: the splitter moves on one byte at a time; consecutive noise bytes
//   come out as one item, ended by a frame, a silence or the end of the input.
// A silence of a frame gap proven by the read times (see SplitTiming) cuts a frame that spans
// it unless its CRC is good. Without known times the result does not depend on how the bytes
// are cut into reads.
class FrameSplitter
{
public:
    explicit FrameSplitter(SplitTiming timing = {});

    // Bytes of one read, at the read's time (not before the previous read's).
    std::vector<SplitItem> feed(QByteArrayView bytes, Time read);
    // Nothing more has arrived by now: a long enough silence decides what waited for more bytes.
    std::vector<SplitItem> idle(Time now);
    // The end of the input: whatever is left comes out.
    std::vector<SplitItem> finish();

    // While bytes wait for a decision: the time at which idle() could prove a silence.
    std::optional<Time> decisionDue() const;

private:
    struct Read {
        qint64 start = 0; // stream offset of the read's first byte
        qint64 end = 0;   // stream offset after its last byte
        Time time{0};
        qint64 serial = 0;
        bool silenceBefore = false;
    };
    struct Waiting {
        quint8 address = 0;
        quint8 function = 0;
        std::optional<qsizetype> replyLength;
        qint64 index = 0;
        Time lastRead{0};
        qint64 lastSerial = 0;
    };
    enum class Fit { Good, Bad, NeedMore, None };
    struct Candidate {
        Fit fit = Fit::None;
        qsizetype length = 0;
    };

    void decide(std::vector<SplitItem> &out);
    qsizetype available() const { return qsizetype(m_end - m_start); }
    quint8 byteAt(qsizetype offset) const;
    QByteArrayView pending() const;
    // The first offset in (from, to] at which a proven silence comes before the byte there
    // (at available(): after the last byte).
    std::optional<qsizetype> silenceWithin(qsizetype from, qsizetype to) const;
    bool silenceAt(qsizetype offset) const;
    const Read &readOf(qsizetype offset) const;
    Candidate knownLength(QByteArrayView bytes, frame::Direction direction) const;
    Candidate candidate(frame::Direction direction) const;
    Candidate unknownLength() const;
    // Whether what follows offset confirms a frame ending there: Good yes, None no, NeedMore
    // not yet known.
    Fit followedAt(qsizetype offset) const;
    // Whether a frame of known length with a good CRC begins at offset.
    bool goodFrameAt(qsizetype offset) const;
    bool goodFrameWithin(qsizetype length) const;
    // Whether a silence or the end of the input lies at offset: Good yes, None no, NeedMore
    // when the bytes end there and more may come.
    Fit endsAt(qsizetype offset) const;
    bool isWaitedReply(QByteArrayView bytes, qsizetype length) const;
    frame::Direction preferred(bool requestFits, bool responseFits) const;
    void emitFrame(qsizetype length, frame::Direction direction, bool crcGood,
                   std::vector<SplitItem> &out);
    void takeNoiseByte();
    void flushNoise(std::vector<SplitItem> &out);
    void drop(qsizetype count);

    SplitTiming m_timing;
    QByteArray m_buffer;      // stream bytes from m_base on
    qint64 m_base = 0;        // stream offset of m_buffer[0]
    qint64 m_start = 0;       // stream offset of the first undecided byte
    qint64 m_end = 0;         // stream offset after the last byte fed
    std::deque<Read> m_reads; // the reads that hold undecided bytes
    qint64 m_readSerial = 0;
    std::optional<Time> m_lastRead;
    bool m_silenceAtEnd = false; // idle() proved a silence after the last byte
    bool m_finished = false;
    bool m_atBoundary = true;
    qint64 m_nextIndex = 0;
    std::optional<Waiting> m_waiting;
    QByteArray m_noise;
    Time m_noiseFirst{0};
    Time m_noiseLast{0};
};

} // namespace sniff
