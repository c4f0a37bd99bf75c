#include "console/addresslist.h"

#include "console/optionvalues.h"

#include <QSet>

namespace console
{

namespace
{

constexpr int kLowestAddress = 1;
constexpr int kHighestAddress = 247;

} // namespace

std::optional<QList<int>> addressList(const QString &option, const QString &text, QString &error)
{
    const auto fail = [&](const QString &part) -> std::optional<QList<int>> {
        error = QStringLiteral("--%1 \"%2\": \"%3\" is not an address or a range: give addresses "
                               "%4 to %5 and ranges such as 1-247, separated by commas.")
                    .arg(option, text, part)
                    .arg(kLowestAddress)
                    .arg(kHighestAddress);
        return std::nullopt;
    };
    QList<int> addresses;
    QSet<int> seen;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        if (ends.size() > 2)
            return fail(part);
        const std::optional<qint64> low = number(ends.first(), kLowestAddress, kHighestAddress);
        const std::optional<qint64> high = number(ends.last(), kLowestAddress, kHighestAddress);
        if (!low || !high || *high < *low)
            return fail(part);
        for (qint64 address = *low; address <= *high; ++address) {
            if (!seen.contains(int(address))) {
                seen.insert(int(address));
                addresses.append(int(address));
            }
        }
    }
    return addresses;
}

} // namespace console
