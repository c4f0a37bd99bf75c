#include "transaction/exchange.h"

#include "serial/linetiming.h"
#include "transaction/eventwait.h"
#include "transaction/replyprogress.h"

#include <QScopeGuard>
#include <algorithm>
#include <limits>

namespace transaction
{

Exchange::Exchange(serial::SerialComm &comm) : m_comm(comm)
{
    m_comm.setArrivalHandler([this](qint64) { bytesArrived(); });
}

Exchange::~Exchange()
{
    m_comm.setArrivalHandler({});
}

void Exchange::setAbandon(std::function<bool()> abandon)
{
    m_abandon = std::move(abandon);
}

void Exchange::setObserver(ExchangeObserver *observer)
{
    m_observer = observer;
}

bool Exchange::abandonRequested() const
{
    return m_abandon && m_abandon();
}

void Exchange::bytesArrived()
{
    const Clock::time_point now = Clock::now();
    m_lastArrival = now;
    for (Arrivals *arrivals : m_running) {
        if (!arrivals->first)
            arrivals->first = now;
        arrivals->last = now;
        arrivals->unread = true;
    }
}

// A step that fails because the port is no longer open ends the exchange quietly: the
// operator closed the port. A lost device reports DeviceLost instead, and every other failure
// is the caller's to show.
ExchangeResult Exchange::failed(serial::CommError error, ExchangeResult result) const
{
    result.end = error.number == serial::CommError::NotOpen && !m_comm.portOpen()
                     ? ExchangeEnd::PortClosed
                     : ExchangeEnd::Failed;
    result.error = std::move(error);
    return result;
}

// A wait ends early when the port closes, and then the read that follows tells an operator's
// close from a lost device; a wait that ended while the port is still open was ended by the
// program closing.
bool Exchange::waitUnlessClosing(double seconds)
{
    const auto stop = [this] {
        return abandonRequested() || !m_comm.portOpen();
    };
    return waitProcessingEvents(seconds, stop) == WaitEnd::Elapsed ||
           !(abandonRequested() || m_comm.portOpen());
}

bool Exchange::awaitSilence(Clock::duration limit)
{
    if (!m_silenceRule)
        return true;
    // Bytes may have reached the port unseen: the timer tick that starts this exchange can be
    // handled before the port's notice in the same turn of the event loop.
    m_comm.collectArrivals();
    if (!m_lastArrival)
        return true;
    const Clock::duration gap = serial::frameGap(m_comm.lineSettings());
    const Clock::time_point giveUp = Clock::now() + limit;
    for (;;) {
        const Clock::time_point now = Clock::now();
        const Clock::time_point silentAt = std::min(*m_lastArrival + gap, giveUp);
        if (now >= silentAt || !m_comm.portOpen())
            return true;
        if (!waitUnlessClosing(std::chrono::duration<double>(silentAt - now).count()))
            return false;
    }
}

Exchange::WaitStop Exchange::waitForFrame(Clock::time_point deadline, const Arrivals &arrivals)
{
    const auto stop = [this, &arrivals] {
        return arrivals.unread || abandonRequested() || !m_comm.portOpen();
    };
    const std::chrono::duration<double> left = deadline - Clock::now();
    if (waitProcessingEvents(left.count(), stop) == WaitEnd::Elapsed)
        return WaitStop::Reached;
    if (abandonRequested())
        return WaitStop::Abandoned;
    if (!m_comm.portOpen())
        return WaitStop::Closing;
    // Otherwise the application quits.
    return arrivals.unread ? WaitStop::Arrival : WaitStop::Abandoned;
}

bool Exchange::waitForReplyEnd(const QByteArray &request, Clock::time_point longest,
                               Arrivals &arrivals, ExchangeResult &result, serial::CommError &error)
{
    const serial::CommSettings line = m_comm.lineSettings();
    const Clock::duration gap = serial::frameGap(line);
    const Clock::duration silence = gap + m_comm.deliveryLatency();
    // A broadcast is done once its last character has left the line and a frame gap followed:
    // the next request may start then.
    const Clock::time_point broadcastDone =
        *result.times.written + serial::charactersTime(line, request.size()) + gap;
    for (;;) {
        if (arrivals.unread) {
            arrivals.unread = false;
            QByteArray chunk;
            if ((error = m_comm.input(chunk)))
                return true;
            arrivals.taken += chunk;
            if (m_echoFirst && !arrivals.afterEcho && arrivals.taken.size() > request.size())
                arrivals.afterEcho = arrivals.last;
        }
        Clock::time_point deadline = longest;
        switch (replyProgress(request, arrivals.taken, m_echoFirst)) {
        case ReplyProgress::Complete:
            // Nothing but the echo expected: a broadcast.
            deadline = arrivals.taken.size() == (m_echoFirst ? request.size() : 0)
                           ? broadcastDone
                           : Clock::time_point::min();
            break;
        case ReplyProgress::Unframed:
            if (arrivals.last)
                deadline = *arrivals.last + silence;
            break;
        case ReplyProgress::Awaiting:
            break;
        }
        const Clock::time_point now = Clock::now();
        if (now >= std::min(deadline, longest)) {
            result.ended = now;
            result.endedAtFrame = deadline < longest;
            return true;
        }
        switch (waitForFrame(std::min(deadline, longest), arrivals)) {
        case WaitStop::Reached:
        case WaitStop::Arrival:
            break;
        case WaitStop::Closing:
            result.ended = Clock::now();
            return true;
        case WaitStop::Abandoned:
            return false;
        }
    }
}

ExchangeResult Exchange::run(const QByteArray &request, double waitMs)
{
    ExchangeResult result;
    if (waitMs >= 0 && waitMs < double(std::numeric_limits<int>::max()))
        result.times.wait = std::chrono::milliseconds(qint64(waitMs));
    const Clock::time_point start = Clock::now();
    if (m_abandoned || abandonRequested() ||
        !awaitSilence(std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(std::max(waitMs, 0.0))))) {
        m_abandoned = true;
        result.end = ExchangeEnd::Abandoned;
        return result;
    }
    result.times.held = Clock::now() - start;
    Arrivals arrivals;
    m_running.push_back(&arrivals);
    const auto leave = qScopeGuard([this, &arrivals] {
        m_running.erase(std::find(m_running.begin(), m_running.end(), &arrivals));
    });

    if (serial::CommError error = m_comm.setInBufferCount(0))
        return failed(std::move(error), result);
    // What had arrived is gone, for the exchanges this one runs inside as well.
    for (Arrivals *running : m_running)
        *running = {};
    if (serial::CommError error = m_comm.output(request))
        return failed(std::move(error), result);
    result.times.written = Clock::now();
    if (m_observer)
        m_observer->requestWritten(request, *result.times.written);

    bool waited = true;
    if (m_replyEnd == ReplyEnd::FrameEnd && waitMs > 0) {
        // A wait past a few days is as good as endless and keeps the clock in range.
        const std::chrono::duration<double, std::milli> wait(std::min(waitMs, 1e9));
        serial::CommError error;
        waited = waitForReplyEnd(
            request, *result.times.written + std::chrono::duration_cast<Clock::duration>(wait),
            arrivals, result, error);
        if (waited && error)
            return failed(std::move(error), result);
    } else {
        waited = waitUnlessClosing(waitMs / 1000.0);
        result.ended = Clock::now();
    }
    if (!waited) {
        m_abandoned = true;
        result.end = ExchangeEnd::Abandoned;
        result.ended.reset();
        return result;
    }

    QByteArray reply;
    if (serial::CommError error = m_comm.input(reply))
        return failed(std::move(error), result);
    reply.prepend(arrivals.taken);
    std::optional<Clock::time_point> firstByte = arrivals.first;
    if (m_echoFirst) {
        result.echo = reply.startsWith(request) ? EchoTaken::Removed : EchoTaken::Missing;
        if (result.echo == EchoTaken::Removed) {
            reply.remove(0, request.size());
            if (arrivals.afterEcho)
                firstByte = arrivals.afterEcho;
        }
    }
    result.reply = reply;
    // An exchange nested in the wait may have read what arrived; only bytes read count.
    if (!reply.isEmpty()) {
        result.times.firstByte = firstByte;
        result.times.lastByte = arrivals.last;
    }
    if (m_observer)
        m_observer->replyRead(reply, result);
    return result;
}

} // namespace transaction
