#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace transaction
{

// The timer of continuous sending: interval 0 means stopped. Any positive interval (in
// milliseconds) ticks repeatedly at that period, as often as the event loop allows.
class IntervalTimer : public QObject
{
    Q_OBJECT

public:
    explicit IntervalTimer(QObject *parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return m_interval; }

    // While suspended no tick is delivered and the process is not woken for ticks; the
    // interval stays as set and can be changed. On resuming, a tick that fell due while
    // suspended comes at the next turn of the event loop, then the period runs on.
    void setSuspended(bool suspended);
    bool isSuspended() const { return m_suspended; }

signals:
    void timeout();

private:
    QTimer m_timer;
    QElapsedTimer m_suspendedFor;
    int m_interval = 0;
    bool m_suspended = false;
    bool m_overdueTickDue = false; // a tick that fell due while suspended is on its way
};

} // namespace transaction
