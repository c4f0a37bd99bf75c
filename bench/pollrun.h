#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace bench
{

// What one run of wirelark-poll --format csv reports.
struct PollRun {
    qint64 sent = 0;
    qint64 valid = 0;
    // Exchanges per second from the first exchange's line to the last.
    double perSecond = 0;
    // The seconds between those two lines.
    double seconds = 0;
};

// Runs the poller at program with XDG_CONFIG_HOME at configHome and no display, the arguments
// followed by "--format csv", for at most timeoutMs. Its standard error goes on to ours. Nothing
// when it does not finish, or prints fewer than two exchanges or no summary.
std::optional<PollRun> runPoller(const QString &program, const QString &configHome,
                                 const QStringList &arguments, int timeoutMs);

} // namespace bench
