#pragma once

#include "serial/serialcomm.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <array>

class QLineEdit;
class QPlainTextEdit;

namespace bench
{

// Continuous sending in the straightforward design: a timer of 1 ms whose every tick, unless an
// exchange runs, empties a log of more than 5000 characters and runs one exchange with the
// polling wait and the per-byte log. The port must be open; a failed step stops the sending.
class StraightforwardSender : public QObject
{
public:
    StraightforwardSender(serial::SerialComm &comm, QPlainTextEdit *log,
                          std::array<QLineEdit *, 3> readouts, QObject *parent = nullptr);

    void start(int waitMilliseconds, const QByteArray &request);
    void stop();
    bool failed() const { return m_failed; }

private:
    void tick();
    void exchange();

    serial::SerialComm &m_comm;
    QPlainTextEdit *m_log;
    std::array<QLineEdit *, 3> m_readouts;
    QTimer m_timer;
    QByteArray m_request;
    int m_waitMilliseconds = 100;
    bool m_busy = false;
    bool m_failed = false;
};

} // namespace bench
