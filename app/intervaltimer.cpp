#include "app/intervaltimer.h"

IntervalTimer::IntervalTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::timeout);
    m_overdueTick.setSingleShot(true);
    connect(&m_overdueTick, &QTimer::timeout, this, &IntervalTimer::timeout);
}

void IntervalTimer::setInterval(int milliseconds)
{
    const int previous = m_interval;
    m_interval = milliseconds > 0 ? milliseconds : 0;
    if (m_interval == 0) {
        m_timer.stop();
        m_overdueTick.stop();
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
        m_overdueTick.stop();
        m_suspendedFor.start();
        return;
    }
    if (m_interval == 0)
        return;
    m_timer.start(m_interval);
    if (m_suspendedFor.elapsed() >= m_interval)
        m_overdueTick.start(0);
}
