#include "transaction/exchange.h"

#include "serial/linetiming.h"
#include "transaction/eventwait.h"

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

    if (!waitUnlessClosing(waitMs / 1000.0)) {
        m_abandoned = true;
        result.end = ExchangeEnd::Abandoned;
        return result;
    }

    QByteArray reply;
    if (serial::CommError error = m_comm.input(reply))
        return failed(std::move(error), result);
    result.reply = reply;
    // An exchange nested in the wait may have read what arrived; only bytes read count.
    if (!reply.isEmpty()) {
        result.times.firstByte = arrivals.first;
        result.times.lastByte = arrivals.last;
    }
    if (m_observer)
        m_observer->replyRead(reply, result);
    return result;
}

} // namespace transaction
