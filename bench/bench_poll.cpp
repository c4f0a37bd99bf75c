// wirelark-poll end to end: the command-line program at its shortest wait against wirelark-slave
// on a pseudo-terminal, beside the window's figures of the same run of `make bench`.
//   bench_poll [WINDOW_ROWS]  WINDOW_ROWS: the output of bench_continuous, whose rows give the
//                             window's exchanges per second and CPU at txtdelay 10.
#include "bench/benchreport.h"
#include "bench/benchstats.h"
#include "bench/pollrun.h"
#include "tests/support/slaveprocess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/resource.h>

namespace
{

constexpr int kExchanges = 500; // 5 s at a wait of 10 ms, as the window's runs
constexpr int kRuns = 3;

struct PollFigures {
    double perSecond = 0;        // exchanges per second, from the requests' time stamps
    double cpuPerExchangeMs = 0; // CPU of the whole process (start-up included) per exchange
    double cpuShare = 0;         // that CPU over the time of the exchanges
    qint64 sent = 0;
    qint64 valid = 0;
    bool sound() const { return sent == kExchanges && (sent - valid) * 100 <= sent; }
};

double childrenCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::optional<PollFigures> runPoll(const QString &configHome, const QString &port)
{
    const double cpuBefore = childrenCpuSeconds();
    const std::optional<bench::PollRun> run = bench::runPoller(
        QStringLiteral(WIRELARK_POLL_PATH), configHome,
        {QStringLiteral("--port"), port, QStringLiteral("--wait"), QStringLiteral("10"),
         QStringLiteral("--repeat"), QString::number(kExchanges)},
        60000);
    const double cpu = childrenCpuSeconds() - cpuBefore;
    if (!run || run->seconds <= 0)
        return std::nullopt;
    PollFigures figures;
    figures.sent = run->sent;
    figures.valid = run->valid;
    figures.perSecond = run->perSecond;
    figures.cpuPerExchangeMs = cpu * 1000.0 / double(std::max<qint64>(figures.sent, 1));
    figures.cpuShare = cpu / run->seconds;
    return figures;
}

// The "ours" cell of the bench_continuous row whose figure starts with prefix, as a number.
double windowFigure(const QString &rowsPath, const QString &prefix)
{
    QFile rows(rowsPath);
    if (rowsPath.isEmpty() || !rows.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : rows.readAll().split('\n')) {
        const QList<QByteArray> cells = line.split('\t');
        if (cells.size() >= 3 && cells[0] == "ROW" && cells[1].startsWith(prefix.toUtf8()))
            return cells[2].split(' ').first().toDouble();
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString windowRows = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTemporaryDir configHome;
    SlaveProcess slave;
    if (!slave.start(configHome.path(), {QStringLiteral("--quiet")})) {
        bench::printRow({"wirelark-poll", "not measured: wirelark-slave did not start", "-", "-",
                         "-", bench::Verdict::Missed});
        return 1;
    }

    std::vector<PollFigures> runs;
    for (int r = 0; r < kRuns; ++r) {
        std::fprintf(stderr, "wirelark-poll --wait 10 --repeat %d, run %d ...\n", kExchanges,
                     r + 1);
        if (const std::optional<PollFigures> figures = runPoll(configHome.path(), slave.portName()))
            runs.push_back(*figures);
    }
    slave.stop();
    if (runs.size() != kRuns) {
        bench::printRow({"wirelark-poll", "not measured: wirelark-poll failed", "-", "-", "-",
                         bench::Verdict::Missed});
        return 1;
    }
    const bool sound = std::all_of(runs.begin(), runs.end(), [](auto &f) { return f.sound(); });
    // The middle run by its rate.
    std::sort(runs.begin(), runs.end(),
              [](const PollFigures &a, const PollFigures &b) { return a.perSecond < b.perSecond; });
    const PollFigures &middle = runs[kRuns / 2];

    const double windowRate =
        windowFigure(windowRows, QStringLiteral("continuous, txtdelay 10, 5 s: exchanges"));
    const double windowCpuShare =
        windowFigure(windowRows, QStringLiteral("continuous, txtdelay 10: CPU")) / 100.0;
    const double windowCpuPerExchangeMs = windowRate > 0 ? windowCpuShare * 1000.0 / windowRate : 0;
    const auto orDash = [](double value, const std::string &text) {
        return value > 0 ? text : std::string("-");
    };
    if (!sound)
        bench::printNote("wirelark-poll: more than 1 % of the replies were missing or invalid in "
                         "a run (see bench-logs/bench_poll.log).");
    bench::printRow({"wirelark-poll --wait 10, 500 exchanges, each ending at the reply's frame: "
                     "exchanges per second (reference: the window, continuous at txtdelay 10)",
                     bench::fixed(middle.perSecond, 1) + (sound ? "" : " (replies missing)"),
                     orDash(windowRate, bench::fixed(windowRate, 1)),
                     bench::ratioText(middle.perSecond, windowRate), ">= 90",
                     bench::verdictOf(sound && middle.perSecond >= 90)});
    bench::printRow(
        {"wirelark-poll --wait 10: CPU per exchange, start-up included (reference: "
         "the window)",
         bench::fixed(middle.cpuPerExchangeMs, 3, "ms") + " (" +
             bench::fixed(middle.cpuShare * 100, 1, "%") + ")",
         orDash(windowCpuPerExchangeMs, bench::fixed(windowCpuPerExchangeMs, 3, "ms") + " (" +
                                            bench::fixed(windowCpuShare * 100, 1, "%") + ")"),
         bench::ratioText(middle.cpuPerExchangeMs, windowCpuPerExchangeMs), "- (for the record)",
         bench::Verdict::None});
    return 0;
}
