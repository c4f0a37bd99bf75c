#include "transaction/intervaltimer.h"

namespace transaction
{

IntervalTimer::IntervalTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::timeout);
}

void IntervalTimer::setInterval(int milliseconds)
{
    const int previous = m_interval;
    m_interval = milliseconds > 0 ? milliseconds : 0;
    if (m_interval == 0) {
        m_timer.stop();
        m_overdueTickDue = false;
        return;
    }
    if (m_suspended) {
        if (m_interval != previous)
            m_suspendedFor.start(); // a new period counts from now
        return;
    }
    if (!m_timer.isActive() || m_timer.interval() != m_interval)
        m_timer.start(m_interval);
}

void IntervalTimer::setSuspended(bool suspended)
{
    if (suspended == m_suspended)
        return;
    m_suspended = suspended;
    if (suspended) {
        m_timer.stop();
        m_overdueTickDue = false;
        m_suspendedFor.start();
        return;
    }
    if (m_interval == 0)
        return;
    m_timer.start(m_interval);
    if (m_suspendedFor.elapsed() < m_interval)
        return;
    // Posted at normal priority, the tick comes before the repaints that the window has
    // queued at low priority; they then run while the tick's own work waits.
    m_overdueTickDue = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_overdueTickDue)
                return;
            m_overdueTickDue = false;
            emit timeout();
        },
        Qt::QueuedConnection);
}

} // namespace transaction
