#include "bench/timingcomm.h"

#include "bench/benchstats.h"

namespace bench
{

serial::CommError TimingComm::setInBufferCount(qint16 count)
{
    Span span{monotonicSeconds()};
    const serial::CommError error = m_inner->setInBufferCount(count);
    span.end = monotonicSeconds();
    m_clears.push_back(span);
    if (error.number != 0)
        ++m_failures;
    return error;
}

serial::CommError TimingComm::output(const QByteArray &bytes)
{
    Span span{monotonicSeconds()};
    const serial::CommError error = m_inner->output(bytes);
    span.end = monotonicSeconds();
    m_outputs.push_back(span);
    if (error.number != 0)
        ++m_failures;
    return error;
}

serial::CommError TimingComm::input(QByteArray &bytes)
{
    Span span{monotonicSeconds()};
    const serial::CommError error = m_inner->input(bytes);
    span.end = monotonicSeconds();
    m_inputs.push_back(span);
    if (error.number != 0)
        ++m_failures;
    else if (!bytes.isEmpty())
        ++m_repliesRead;
    return error;
}

void TimingComm::reset()
{
    m_clears.clear();
    m_outputs.clear();
    m_inputs.clear();
    m_repliesRead = 0;
    m_failures = 0;
}

} // namespace bench
