// The wait of an exchange against a wait that polls the clock: how late each returns, and how
// much CPU time it uses while it waits. Both run on the UI thread of an application with a
// shown window, as in the program.
#include "bench/benchreport.h"
#include "bench/benchstats.h"
#include "bench/straightforward.h"
#include "transaction/eventwait.h"

#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <functional>

namespace
{

struct WaitFigures {
    std::vector<double> overshootMs; // actual minus requested duration of each wait
    double cpuShare = 0;             // CPU time over wall time, all waits together
};

WaitFigures measure(const std::function<void(double)> &wait, double seconds, int repetitions)
{
    WaitFigures figures;
    double waited = 0;
    const double cpuBefore = bench::processCpuSeconds();
    for (int i = 0; i < repetitions; ++i) {
        const double start = bench::monotonicSeconds();
        wait(seconds);
        const double took = bench::monotonicSeconds() - start;
        figures.overshootMs.push_back((took - seconds) * 1000.0);
        waited += took;
    }
    figures.cpuShare = (bench::processCpuSeconds() - cpuBefore) / waited;
    return figures;
}

std::string overshootText(const std::vector<double> &ms)
{
    return bench::fixed(bench::median(ms), 3) + " / " + bench::fixed(bench::percentile(ms, 99), 3) +
           " / " + bench::fixed(bench::maximum(ms), 3) + " ms";
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 480);
    window.show();
    bench::pollingWait(0.2);

    // Called as the window calls it: with a question whether the wait is still wanted.
    const auto ours = [](double seconds) {
        transaction::waitProcessingEvents(seconds, [] { return false; });
    };
    const auto reference = [](double seconds) {
        bench::pollingWait(seconds);
    };

    struct Case {
        int milliseconds;
        int ourRepetitions;
        int referenceRepetitions;
    };
    for (const Case c : {Case{10, 500, 100}, Case{100, 60, 20}}) {
        const double seconds = c.milliseconds / 1000.0;
        std::fprintf(stderr, "wait %d ms ...\n", c.milliseconds);
        const WaitFigures mine = measure(ours, seconds, c.ourRepetitions);
        const WaitFigures theirs = measure(reference, seconds, c.referenceRepetitions);
        const std::string name = "wait " + std::to_string(c.milliseconds) + " ms";

        const double p99 = bench::percentile(mine.overshootMs, 99);
        const bool neverEarly = bench::minimum(mine.overshootMs) >= 0;
        bench::printRow({name + ": overshoot median / p99 / max (" +
                             std::to_string(c.ourRepetitions) + " waits, reference " +
                             std::to_string(c.referenceRepetitions) + ")",
                         overshootText(mine.overshootMs), overshootText(theirs.overshootMs), "-",
                         "p99 <= 2 ms, never < 0 (min " +
                             bench::fixed(bench::minimum(mine.overshootMs), 3) + " ms)",
                         bench::verdictOf(p99 <= 2.0 && neverEarly)});
        bench::printRow({name + ": CPU time / wait time", bench::fixed(mine.cpuShare * 100, 2, "%"),
                         bench::fixed(theirs.cpuShare * 100, 1, "%"),
                         bench::ratioText(mine.cpuShare, theirs.cpuShare), "<= 2 %",
                         bench::verdictOf(mine.cpuShare <= 0.02)});
    }
    return 0;
}
