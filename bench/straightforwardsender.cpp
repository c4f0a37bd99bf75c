#include "bench/straightforwardsender.h"

#include "bench/straightforward.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace bench
{

StraightforwardSender::StraightforwardSender(serial::SerialComm &comm, QPlainTextEdit *log,
                                             std::array<QLineEdit *, 3> readouts, QObject *parent)
    : QObject(parent), m_comm(comm), m_log(log), m_readouts(readouts)
{
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

void StraightforwardSender::start(int waitMilliseconds, const QByteArray &request)
{
    m_waitMilliseconds = waitMilliseconds;
    m_request = request;
    m_timer.start();
}

void StraightforwardSender::stop()
{
    m_busy = false;
    m_timer.stop();
}

void StraightforwardSender::tick()
{
    if (m_busy)
        return;
    if (m_log->toPlainText().size() > 5000)
        m_log->setPlainText(QString());
    m_busy = true;
    exchange();
    m_busy = false;
}

void StraightforwardSender::exchange()
{
    QByteArray reply;
    if (m_comm.setInBufferCount(0) || m_comm.output(m_request)) {
        m_failed = true;
        stop();
        return;
    }
    pollingWait(m_waitMilliseconds / 1000.0);
    if (m_comm.input(reply)) {
        m_failed = true;
        stop();
        return;
    }
    appendPerByte(m_log, reply);
    for (int k = 1; k <= 3; ++k) {
        const qsizetype high = 2 * k + 1;
        const qsizetype low = 2 * k + 2;
        m_readouts[std::size_t(k - 1)]->setText(
            low < reply.size()
                ? QString::number(quint8(reply.at(high)) * 256 + quint8(reply.at(low)))
                : QString());
    }
}

} // namespace bench
