#include "transaction/eventwait.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <limits>

namespace transaction
{

WaitEnd waitProcessingEvents(double seconds, const std::function<bool()> &abandon)
{
    using Clock = std::chrono::steady_clock;
    if (!(seconds > 0))
        return WaitEnd::Elapsed;
    const Clock::time_point start = Clock::now();
    const std::chrono::duration<double> requested(seconds);
    const auto maxTimerMs = std::chrono::milliseconds(std::numeric_limits<int>::max());

    for (;;) {
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        if (elapsed >= requested)
            return WaitEnd::Elapsed;
        if (abandon && abandon())
            return WaitEnd::Abandoned;

        // Sleep in a nested loop until the deadline. A timer rounds up to whole milliseconds
        // and may still fire a little early or late, so the clock decides when the wait ends.
        auto sleep = std::chrono::ceil<std::chrono::milliseconds>(requested - elapsed);
        sleep = std::min(std::max(sleep, std::chrono::milliseconds(1)), maxTimerMs);

        QEventLoop loop;
        bool deadlineFired = false;
        bool abandoned = false;
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
            deadlineFired = true;
            loop.quit();
        });
        // The dispatcher announces each time it has run out of pending work and is about to
        // sleep: the moment to ask whether the wait is still wanted.
        if (abandon) {
            if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
                QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
                    if (!abandoned && abandon()) {
                        abandoned = true;
                        loop.quit();
                    }
                });
            }
        }
        deadline.start(sleep);
        loop.exec();
        if (abandoned)
            return WaitEnd::Abandoned;
        if (!deadlineFired)
            return WaitEnd::Abandoned; // the loop was ended from outside: the application quits
    }
}

} // namespace transaction
