#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace console
{

// A list of slave addresses as an option gives it: decimal numbers and ranges "low-high",
// separated by commas ("1-5,7,100-110"), each from 1 to 247 (0, the broadcast, is never a
// slave's). Kept in the order written, each address once. A wrong text sets error to a message
// that names option and says what it takes, and gives nothing.
std::optional<QList<int>> addressList(const QString &option, const QString &text, QString &error);

} // namespace console
