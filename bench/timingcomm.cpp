#include "bench/timingcomm.h"

#include "bench/benchstats.h"

namespace bench
{

serial::CommError TimingComm::output(const QByteArray &bytes)
{
    m_outputTimes.push_back(monotonicSeconds());
    const serial::CommError error = m_inner->output(bytes);
    if (error.number != 0)
        ++m_failures;
    return error;
}

serial::CommError TimingComm::input(QByteArray &bytes)
{
    const serial::CommError error = m_inner->input(bytes);
    if (error.number != 0)
        ++m_failures;
    else if (!bytes.isEmpty())
        ++m_repliesRead;
    return error;
}

void TimingComm::reset()
{
    m_outputTimes.clear();
    m_repliesRead = 0;
    m_failures = 0;
}

} // namespace bench
