#pragma once

#include "serial/commerror.h"
#include "serial/serialcomm.h"

#include <QByteArray>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace transaction
{

using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC on Linux

enum class ExchangeEnd {
    Completed,  // the reply (possibly empty) was read at the end of the wait
    PortClosed, // the port was closed by the operator before the read; nothing was read
    Failed,     // a step failed for another reason; `error` says which
    Abandoned,  // the program is closing: the wait ended early, nothing was read
};

// When the bytes of one exchange moved, on the monotonic clock, and how long it waited.
struct ReplyTimes {
    // When the write of the request returned; unset when nothing was written.
    std::optional<Clock::time_point> written;
    // When the first and the last byte of the reply arrived; unset when none did.
    std::optional<Clock::time_point> firstByte;
    std::optional<Clock::time_point> lastByte;
    // The wait after the write, in whole milliseconds; unset when negative or past 32 bits.
    std::optional<std::chrono::milliseconds> wait;
    // How long the request was held back for a silent line before it was written.
    Clock::duration held{};
};

// What became of the echo that an exchange expected in front of the reply (see
// Exchange::setEchoFirst).
enum class EchoTaken {
    NotExpected, // none was expected: the reply holds every byte read
    Removed,     // the request's bytes came first and were taken off the front of the reply
    Missing,     // the bytes read do not begin with the request (or none came): kept whole
};

struct ExchangeResult {
    ExchangeEnd end = ExchangeEnd::Completed;
    serial::CommError error; // why a PortClosed or Failed exchange ended
    QByteArray reply;        // Completed only; after the echo when it was Removed
    EchoTaken echo = EchoTaken::NotExpected;
    ReplyTimes times;
    // When the wait after the write ended, before the last read; unset when none ended.
    std::optional<Clock::time_point> ended;
    bool endedAtFrame = false; // the frame end rule ended the wait before the wait given
};

// What ends the wait after a request is written.
enum class ReplyEnd {
    // The wait given passes in full; the read at its end takes what came (the default).
    WaitElapsed,
    // The wait ends as soon as the reply expected for the request is complete with a right CRC,
    // normal or exception (see replyProgress). Where the bytes cannot be that reply, or its
    // length is unknown, it ends once the line has been silent for 3.5 characters after the
    // last byte (1.75 ms above 19200 baud) plus the port's delivery latency. A broadcast
    // (address 0) expects nothing: its wait ends once the request has had the time to leave the
    // line and a frame gap has followed, or after the silence if bytes come. The wait given
    // stays the longest wait: a silent slave, or a reply that stays short, waits it in full.
    FrameEnd,
};

// Told what an exchange puts on the wire and takes from it, as it happens, on the thread of the
// exchange.
class ExchangeObserver
{
public:
    virtual ~ExchangeObserver() = default;
    // The request was handed to the operating system; `when` is the moment output() returned.
    virtual void requestWritten(const QByteArray &request, Clock::time_point when) = 0;
    // The read at the end of the wait took `reply`; `result` holds its times.
    virtual void replyRead(const QByteArray &reply, const ExchangeResult &result) = 0;
};

// One request and its reply over a serial component: discard what waits, write the request,
// wait while the event loop runs, read whatever arrived. The wait ends early when the port is
// closed meanwhile (the read then tells an operator's close from a lost device) or when the
// program is closing. Exchanges may nest: one started from an event handled during another's
// wait runs to its end first.
//
// A request never talks over the line: when bytes arrived less than a frame gap ago (3.5
// characters at the port's settings, 1.75 ms above 19200 baud), it is held, events running,
// until the line has been silent that long, but never longer than the exchange's own wait, so
// that a device that never stops talking cannot stall the caller.
class Exchange
{
public:
    // `comm` must outlive the exchange; its arrival handler belongs to the exchange.
    explicit Exchange(serial::SerialComm &comm);
    ~Exchange();
    Exchange(const Exchange &) = delete;
    Exchange &operator=(const Exchange &) = delete;

    // Asked before each exchange and during each wait; true abandons the wait and every later
    // exchange (the window is closing).
    void setAbandon(std::function<bool()> abandon);
    // Not owned; null for none.
    void setObserver(ExchangeObserver *observer);
    // Whether requests wait for a silent line (on by default; off only to measure without it).
    void setSilenceRule(bool on) { m_silenceRule = on; }
    // What ends each later exchange's wait; WaitElapsed by default.
    void setReplyEnd(ReplyEnd end) { m_replyEnd = end; }
    // Whether every reply comes after an echo of the request (a two-wire adapter that reads
    // back what it sends); off by default. On, the echo is taken off the front of the reply
    // before FrameEnd judges it (replyProgress with echoFirst) and before the reply is handed
    // on, and the reply's first byte is the first after the echo (with WaitElapsed, which reads
    // once at the end, the echo's first).
    void setEchoFirst(bool on) { m_echoFirst = on; }

    // Runs one exchange with a wait of `waitMs` milliseconds after the write (zero or less: the
    // read follows at once, without handling events). With FrameEnd the bytes are read as they
    // arrive; the observer is told of the whole reply once, at the end, either way.
    ExchangeResult run(const QByteArray &request, double waitMs);

    // Whether an exchange has been abandoned; no exchange runs after that.
    bool abandoned() const { return m_abandoned; }

private:
    struct Arrivals {
        std::optional<Clock::time_point> first;
        std::optional<Clock::time_point> last;
        bool unread = false; // bytes arrived since the exchange last read
        QByteArray taken;    // bytes read during the wait (FrameEnd)
        // When the read that first took bytes past the expected echo had them (FrameEnd).
        std::optional<Clock::time_point> afterEcho;
    };
    enum class WaitStop { Reached, Arrival, Closing, Abandoned };

    void bytesArrived();
    ExchangeResult failed(serial::CommError error, ExchangeResult result) const;
    bool abandonRequested() const;
    // Waits with events running; false when the program is closing meanwhile.
    bool waitUnlessClosing(double seconds);
    // Holds the caller, events running, until the line has been silent for a frame gap or
    // `limit` has passed; false when the program is closing meanwhile.
    bool awaitSilence(Clock::duration limit);
    // Waits with events running until deadline, new bytes or the port's close.
    WaitStop waitForFrame(Clock::time_point deadline, const Arrivals &arrivals);
    // The FrameEnd wait after request was written at `written`; false when abandoned. A read
    // that fails leaves its error in `error`.
    bool waitForReplyEnd(const QByteArray &request, Clock::time_point longest, Arrivals &arrivals,
                         ExchangeResult &result, serial::CommError &error);

    serial::SerialComm &m_comm;
    std::function<bool()> m_abandon;
    ExchangeObserver *m_observer = nullptr;
    bool m_abandoned = false;
    bool m_silenceRule = true;
    ReplyEnd m_replyEnd = ReplyEnd::WaitElapsed;
    bool m_echoFirst = false;
    std::optional<Clock::time_point> m_lastArrival; // of any byte, in or out of an exchange
    // The arrivals of every exchange that is running, innermost last.
    std::vector<Arrivals *> m_running;
};

} // namespace transaction
