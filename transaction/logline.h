#pragma once

#include <QByteArray>
#include <QString>

namespace transaction
{

// One line of the receive log: each byte as two upper-case hex digits, separated by single
// spaces, ended by CR LF. No bytes give the line end alone.
QString logLine(const QByteArray &bytes);

} // namespace transaction
