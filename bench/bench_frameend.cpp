// Exchanges that end at the reply's last byte, against wirelark-slave with wire time: valid
// replies per second of wirelark-poll beside the line's limit and beside mbpoll at its shortest
// poll period, at 9600 and 115200 baud; the same behind a simulated 16 ms USB latency timer; and
// how long after the reply's last byte the engine's wait ends.
#include "bench/benchreport.h"
#include "bench/benchstats.h"
#include "bench/pollrun.h"
#include "serial/linetiming.h"
#include "serial/qtserialcomm.h"
#include "tests/support/slaveprocess.h"
#include "transaction/exchange.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr int kLatencyExchanges = 500;
constexpr int kMbpollSeconds = 5;
constexpr int kTurnaroundMs = 1; // the simulator's default
// The default request: read two holding registers from slave 01, and the reply's length.
const QByteArray kRequest = QByteArray::fromHex("010300000002C40B");
constexpr qint64 kReplyLength = 9;

struct Rate {
    double perSecond = 0;
    qint64 sent = 0;
    qint64 good = 0; // valid replies (ours), replies received without error (mbpoll)
    bool whole() const { return sent > 0 && good == sent; }
};

serial::CommSettings lineAt(int baud)
{
    serial::CommSettings line;
    serial::parseSettings(QStringLiteral("%1,N,8,1").arg(baud), line);
    return line;
}

// 1 / (request + 3.5 characters + turnaround + reply + 3.5 characters).
double lineLimit(int baud)
{
    const serial::CommSettings line = lineAt(baud);
    const std::chrono::duration<double> exchange =
        serial::charactersTime(line, kRequest.size()) + serial::frameGap(line) +
        std::chrono::milliseconds(kTurnaroundMs) + serial::charactersTime(line, kReplyLength) +
        serial::frameGap(line);
    return 1.0 / exchange.count();
}

std::optional<Rate> runOurs(const QString &configHome, const QString &port, int baud, int count)
{
    const std::optional<bench::PollRun> run = bench::runPoller(
        QStringLiteral(WIRELARK_POLL_PATH), configHome,
        {QStringLiteral("--port"), port, QStringLiteral("--speed"), QString::number(baud),
         QStringLiteral("--repeat"), QString::number(count)},
        120000);
    if (!run)
        return std::nullopt;
    Rate rate;
    rate.sent = run->sent;
    rate.good = run->valid;
    rate.perSecond = run->perSecond;
    return rate;
}

// mbpoll at its shortest poll period (10 ms) for kMbpollSeconds, stopped as Ctrl-C would.
std::optional<Rate> runMbpoll(const QString &device, int baud)
{
    QProcess mbpoll;
    const Clock::time_point start = Clock::now();
    mbpoll.start(QStringLiteral("mbpoll"),
                 {QStringLiteral("-m"), QStringLiteral("rtu"), QStringLiteral("-b"),
                  QString::number(baud), QStringLiteral("-P"), QStringLiteral("none"),
                  QStringLiteral("-a"), QStringLiteral("1"), QStringLiteral("-r"),
                  QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("2"),
                  QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-l"),
                  QStringLiteral("10"), QStringLiteral("-o"), QStringLiteral("1"), device});
    if (!mbpoll.waitForStarted(5000))
        return std::nullopt;
    mbpoll.waitForFinished(kMbpollSeconds * 1000);
    if (mbpoll.state() != QProcess::Running)
        return std::nullopt;
    ::kill(pid_t(mbpoll.processId()), SIGINT);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!mbpoll.waitForFinished(5000)) {
        mbpoll.kill();
        mbpoll.waitForFinished(1000);
        return std::nullopt;
    }
    const QString out = QString::fromUtf8(mbpoll.readAllStandardOutput());
    static const QRegularExpression stats(
        QStringLiteral("(\\d+) frames transmitted, (\\d+) received, (\\d+) errors"));
    const QRegularExpressionMatch match = stats.match(out);
    if (!match.hasMatch())
        return std::nullopt;
    const qint64 transmitted = match.captured(1).toLongLong();
    const qint64 received = match.captured(2).toLongLong();
    Rate rate;
    // The request in flight when the stop came has had no time for its reply.
    rate.sent = std::max(received, transmitted - 1);
    rate.good = received - match.captured(3).toLongLong();
    rate.perSecond = double(received) / seconds;
    return rate;
}

// The engine itself over the pseudo-terminal: for each exchange that ended at the reply's frame,
// the time from the last byte's arrival to the end of the wait, in ms.
std::vector<double> waitEnds(const QString &device, int baud)
{
    serial::QtSerialComm comm([device](int number) {
        return std::optional(serial::MappedPort{number, device, {}, false});
    });
    std::vector<double> ends;
    if (comm.setSettings(QStringLiteral("%1,N,8,1").arg(baud)) || comm.setPortOpen(true))
        return ends;
    transaction::Exchange exchange(comm);
    exchange.setReplyEnd(transaction::ReplyEnd::FrameEnd);
    for (int i = 0; i < kLatencyExchanges; ++i) {
        const transaction::ExchangeResult result = exchange.run(kRequest, 100);
        if (result.end == transaction::ExchangeEnd::Completed && result.endedAtFrame &&
            result.ended && result.times.lastByte)
            ends.push_back(
                std::chrono::duration<double, std::milli>(*result.ended - *result.times.lastByte)
                    .count());
    }
    comm.setPortOpen(false);
    return ends;
}

Rate middle(std::vector<Rate> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const Rate &a, const Rate &b) { return a.perSecond < b.perSecond; });
    Rate m = runs[runs.size() / 2];
    m.sent = 0;
    m.good = 0;
    for (const Rate &r : runs) {
        m.sent += r.sent;
        m.good += r.good;
    }
    return m;
}

std::string lossText(const Rate &rate)
{
    return rate.whole() ? std::string(", none lost or split")
                        : ", " + std::to_string(rate.sent - rate.good) + " of " +
                              std::to_string(rate.sent) + " lost or split";
}

bool measureSpeed(const QString &configHome, int baud, int count)
{
    const std::string at = "--speed " + std::to_string(baud);
    SlaveProcess slave;
    if (!slave.start(configHome, {QStringLiteral("--quiet"), QStringLiteral("--speed"),
                                  QString::number(baud)})) {
        bench::printRow({"wirelark-poll, " + at, "not measured: wirelark-slave did not start", "-",
                         "-", "-", bench::Verdict::Missed});
        return false;
    }
    std::vector<Rate> runs;
    for (int r = 0; r < kRuns; ++r) {
        std::fprintf(stderr, "wirelark-poll %s --repeat %d, run %d ...\n", at.c_str(), count,
                     r + 1);
        if (const std::optional<Rate> rate = runOurs(configHome, slave.portName(), baud, count))
            runs.push_back(*rate);
    }
    std::fprintf(stderr, "mbpoll -b %d -l 10 for %d s ...\n", baud, kMbpollSeconds);
    const std::optional<Rate> peer = runMbpoll(slave.devicePath(), baud);
    std::fprintf(stderr, "the engine's wait ends, %d exchanges ...\n", kLatencyExchanges);
    std::vector<double> ends = waitEnds(slave.devicePath(), baud);
    slave.stop();
    if (runs.size() != kRuns) {
        bench::printRow({"wirelark-poll, " + at, "not measured: wirelark-poll failed", "-", "-",
                         "-", bench::Verdict::Missed});
        return false;
    }
    const Rate ours = middle(runs);
    const double limit = lineLimit(baud);
    bench::printRow({"wirelark-poll, slave " + at +
                         ": valid replies per second (reference: the "
                         "line's limit)",
                     bench::fixed(ours.perSecond, 1) + lossText(ours), bench::fixed(limit, 1),
                     bench::ratioText(ours.perSecond, limit), ">= 0.95 of the limit",
                     bench::verdictOf(ours.whole() && ours.perSecond >= 0.95 * limit)});
    bench::printRow(
        {"wirelark-poll, slave " + at + ": valid replies per second (reference: mbpoll -l 10)",
         bench::fixed(ours.perSecond, 1),
         peer ? bench::fixed(peer->perSecond, 1) + lossText(*peer) : "not measured",
         peer ? bench::ratioText(ours.perSecond, peer->perSecond) : "-", "> 1",
         bench::verdictOf(peer && ours.perSecond > peer->perSecond)});
    const bool timed = ends.size() * 10 >= std::size_t(kLatencyExchanges) * 9;
    const double median = timed ? bench::percentile(ends, 50) : 0;
    const double p99 = timed ? bench::percentile(ends, 99) : 0;
    bench::printRow({"engine, slave " + at +
                         ": wait end after the reply's last byte, median / "
                         "p99 (" +
                         std::to_string(ends.size()) + " of " + std::to_string(kLatencyExchanges) +
                         " ended at the frame)",
                     timed ? bench::fixed(median, 3, "ms") + " / " + bench::fixed(p99, 3, "ms")
                           : "not measured",
                     "-", "-", "< 0.5 ms / < 2 ms",
                     bench::verdictOf(timed && median < 0.5 && p99 < 2)});
    return true;
}

bool measureLatencyTimer(const QString &configHome, int baud, int count)
{
    const std::string at = "--speed " + std::to_string(baud) + " --usb-latency 16";
    SlaveProcess slave;
    if (!slave.start(configHome,
                     {QStringLiteral("--quiet"), QStringLiteral("--speed"), QString::number(baud),
                      QStringLiteral("--usb-latency"), QStringLiteral("16")})) {
        bench::printRow({"wirelark-poll, " + at, "not measured: wirelark-slave did not start", "-",
                         "-", "-", bench::Verdict::Missed});
        return false;
    }
    std::fprintf(stderr, "wirelark-poll %s --repeat %d ...\n", at.c_str(), count);
    const std::optional<Rate> ours = runOurs(configHome, slave.portName(), baud, count);
    std::fprintf(stderr, "mbpoll -b %d -l 10 behind a 16 ms latency timer ...\n", baud);
    const std::optional<Rate> peer = runMbpoll(slave.devicePath(), baud);
    slave.stop();
    bench::printRow({"wirelark-poll, slave " + at +
                         ": valid replies per second (reference: mbpoll -l 10; "
                         "without the timer: the rows above)",
                     ours ? bench::fixed(ours->perSecond, 1) + lossText(*ours) : "not measured",
                     peer ? bench::fixed(peer->perSecond, 1) + lossText(*peer) : "not measured",
                     ours && peer ? bench::ratioText(ours->perSecond, peer->perSecond) : "-",
                     "none lost or split",
                     bench::verdictOf(ours && ours->whole() && peer && peer->whole())});
    return ours.has_value();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir configHome;
    bool ok = true;
    ok = measureSpeed(configHome.path(), 9600, 200) && ok;
    ok = measureSpeed(configHome.path(), 115200, 1000) && ok;
    ok = measureLatencyTimer(configHome.path(), 9600, 100) && ok;
    ok = measureLatencyTimer(configHome.path(), 115200, 200) && ok;
    return ok ? 0 : 1;
}
