#include "bench/pollrun.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>

namespace bench
{

std::optional<PollRun> runPoller(const QString &program, const QString &configHome,
                                 const QStringList &arguments, int timeoutMs)
{
    QProcess poll;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.remove(QStringLiteral("DISPLAY"));
    poll.setProcessEnvironment(env);
    poll.start(program, arguments + QStringList{QStringLiteral("--format"), QStringLiteral("csv")});
    if (!poll.waitForFinished(timeoutMs) || poll.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    // A header line, then one line per exchange that starts with its ISO time.
    const QList<QByteArray> lines = poll.readAllStandardOutput().trimmed().split('\n');
    const QString err = QString::fromUtf8(poll.readAllStandardError());
    std::fputs(qPrintable(err), stderr);
    static const QRegularExpression counts(QStringLiteral("(\\d+) sent, (\\d+) valid"));
    const QRegularExpressionMatch match = counts.match(err);
    if (lines.size() < 3 || !match.hasMatch())
        return std::nullopt;
    const auto timeOf = [](const QByteArray &line) {
        return QDateTime::fromString(QString::fromLatin1(line.left(line.indexOf(','))),
                                     Qt::ISODateWithMs)
            .toMSecsSinceEpoch();
    };
    PollRun run;
    run.sent = match.captured(1).toLongLong();
    run.valid = match.captured(2).toLongLong();
    run.seconds = double(timeOf(lines.last()) - timeOf(lines.at(1))) / 1000.0;
    // From the first exchange to the last: one exchange fewer than the lines.
    run.perSecond = run.seconds > 0 ? double(lines.size() - 2) / run.seconds : 0;
    return run;
}

} // namespace bench
