#include "sniff/bustotals.h"

#include <algorithm>

namespace sniff
{

namespace
{

constexpr quint8 kExceptionBit = 0x80;

QString milliseconds(std::chrono::nanoseconds time)
{
    return QString::number(double(time.count()) / 1e6, 'f', 1);
}

// The lower median of an even count: a time that was seen.
QString timesText(std::vector<std::chrono::nanoseconds> times)
{
    if (times.empty())
        return QStringLiteral("-");
    std::sort(times.begin(), times.end());
    return milliseconds(times.front()) + QLatin1Char('/') +
           milliseconds(times[(times.size() - 1) / 2]) + QLatin1Char('/') +
           milliseconds(times.back());
}

} // namespace

void BusTotals::add(const SplitItem &item)
{
    if (item.kind == SplitItem::Kind::Noise) {
        m_noiseBytes += item.bytes.size();
        ++m_noiseRuns;
        return;
    }
    const quint8 address = quint8(item.bytes[0]);
    SlaveTotals &slave = m_slaves[address];
    if (!item.crcGood)
        ++slave.badCrcs;
    if (item.kind == SplitItem::Kind::Request) {
        ++slave.requests;
        if (item.unanswered) {
            const auto waiting = m_waiting.find(*item.unanswered);
            if (waiting != m_waiting.end()) {
                ++m_slaves[waiting->second].noReply;
                m_waiting.erase(waiting);
            }
        }
        if (address != frame::kBroadcastAddress)
            m_waiting[item.index] = address;
        return;
    }
    ++slave.responses;
    if (quint8(item.bytes[1]) & kExceptionBit)
        ++slave.exceptions;
    if (item.request)
        m_waiting.erase(*item.request);
    if (item.responseTime)
        slave.responseTimes.push_back(*item.responseTime);
}

void BusTotals::finish()
{
    for (const auto &[index, address] : m_waiting)
        ++m_slaves[address].noReply;
    m_waiting.clear();
}

QString BusTotals::summary() const
{
    QString text = QStringLiteral("slave  requests  responses  exceptions  bad CRC  no reply  "
                                  "response ms min/median/max\n");
    for (const auto &[address, slave] : m_slaves) {
        text += QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
                    .arg(address, 5)
                    .arg(slave.requests, 8)
                    .arg(slave.responses, 9)
                    .arg(slave.exceptions, 10)
                    .arg(slave.badCrcs, 7)
                    .arg(slave.noReply, 8)
                    .arg(timesText(slave.responseTimes));
    }
    text += QStringLiteral("noise: %1 bytes in %2 runs\n").arg(m_noiseBytes).arg(m_noiseRuns);
    return text;
}

} // namespace sniff
