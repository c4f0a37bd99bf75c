#include "transaction/readout.h"

#include "frame/hextext.h"

namespace transaction
{

QString Byet_to_Str(quint8 temRes1, quint8 temRes2)
{
    return QString::number(qint32(temRes1) * 256 + qint32(temRes2));
}

QString registerReadout(const QByteArray &reply, const QString &registerCountText, qint32 k)
{
    const qint32 count = frame::HEX_to_DEC(registerCountText).value_or(0);
    if (count < k)
        return {};
    const qint64 high = 2 * qint64(k) + 1;
    const qint64 low = high + 1;
    if (high < 0 || low >= reply.size())
        return {};
    return Byet_to_Str(static_cast<quint8>(reply.at(high)), static_cast<quint8>(reply.at(low)));
}

} // namespace transaction
