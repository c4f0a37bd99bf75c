#pragma once

#include <QObject>
#include <QTimer>

// A timer whose interval 0 means stopped. Any positive interval (in milliseconds) ticks
// repeatedly at that period, as often as the event loop allows.
class IntervalTimer : public QObject
{
    Q_OBJECT

public:
    explicit IntervalTimer(QObject *parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return m_interval; }

signals:
    void timeout();

private:
    QTimer m_timer;
    int m_interval = 0;
};
