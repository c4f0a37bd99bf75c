#include "app/intervaltimer.h"

IntervalTimer::IntervalTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::timeout);
}

void IntervalTimer::setInterval(int milliseconds)
{
    m_interval = milliseconds > 0 ? milliseconds : 0;
    if (m_interval == 0) {
        m_timer.stop();
        return;
    }
    if (!m_timer.isActive() || m_timer.interval() != m_interval)
        m_timer.start(m_interval);
}
