#include "transaction/eventwait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <sys/timerfd.h>
#include <unistd.h>

namespace transaction
{

namespace
{

using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC on Linux

// A timer descriptor that turns readable at an absolute time of the monotonic clock. Qt's
// timers wake the default (glib) event loop only at whole milliseconds, so a wait that handled
// an event in between would end up to a millisecond late; the descriptor wakes the loop within
// microseconds of the deadline.
class DeadlineDescriptor
{
public:
    explicit DeadlineDescriptor(Clock::time_point deadline)
        : m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK))
    {
        if (m_fd < 0)
            return;
        const auto sinceEpoch =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch());
        itimerspec expiry{};
        expiry.it_value.tv_sec = time_t(sinceEpoch.count() / 1'000'000'000);
        expiry.it_value.tv_nsec = long(sinceEpoch.count() % 1'000'000'000);
        if (expiry.it_value.tv_sec == 0 && expiry.it_value.tv_nsec == 0)
            expiry.it_value.tv_nsec = 1; // zero would disarm the timer
        if (timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &expiry, nullptr) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~DeadlineDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DeadlineDescriptor(const DeadlineDescriptor &) = delete;
    DeadlineDescriptor &operator=(const DeadlineDescriptor &) = delete;

    // -1 when the system gave no descriptor; the wait then falls back on a Qt timer.
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

} // namespace

WaitEnd waitProcessingEvents(double seconds, const std::function<bool()> &abandon)
{
    if (!(seconds > 0))
        return WaitEnd::Elapsed;
    const Clock::time_point start = Clock::now();
    const std::chrono::duration<double> requested(seconds);
    const auto maxTimerMs = std::chrono::milliseconds(std::numeric_limits<int>::max());
    // A wait too long for the clock's range never needs a precise wake-up.
    const bool representable =
        requested < std::chrono::duration<double>(Clock::time_point::max() - start);
    std::unique_ptr<DeadlineDescriptor> descriptor;
    if (representable)
        descriptor = std::make_unique<DeadlineDescriptor>(
            start + std::chrono::duration_cast<Clock::duration>(requested));

    for (;;) {
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        if (elapsed >= requested)
            return WaitEnd::Elapsed;
        if (abandon && abandon())
            return WaitEnd::Abandoned;
        // Events posted before the wait began come first. The default (glib) event loop would
        // hold them back until after the wait when the wait runs inside the delivery of a posted
        // event, as a queued timer tick does: the window would show the previous reply meanwhile.
        QCoreApplication::sendPostedEvents();

        // Sleep in a nested loop until the deadline. The clock decides when the wait ends: a
        // wake-up that comes early only goes round again.
        QEventLoop loop;
        bool deadlineFired = false;
        bool abandoned = false;
        const auto deadlineReached = [&] {
            deadlineFired = true;
            loop.quit();
        };
        std::unique_ptr<QSocketNotifier> notifier;
        QTimer deadline;
        if (descriptor && descriptor->fd() >= 0) {
            notifier = std::make_unique<QSocketNotifier>(descriptor->fd(), QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop, [&] {
                quint64 expirations = 0;
                [[maybe_unused]] const ssize_t n =
                    ::read(descriptor->fd(), &expirations, sizeof expirations);
                deadlineReached();
            });
        } else {
            // A Qt timer rounds up to whole milliseconds and may fire a little early or late.
            auto sleep = std::chrono::ceil<std::chrono::milliseconds>(requested - elapsed);
            sleep = std::min(std::max(sleep, std::chrono::milliseconds(1)), maxTimerMs);
            deadline.setSingleShot(true);
            deadline.setTimerType(Qt::PreciseTimer);
            QObject::connect(&deadline, &QTimer::timeout, &loop, deadlineReached);
            deadline.start(sleep);
        }
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
        loop.exec();
        if (abandoned)
            return WaitEnd::Abandoned;
        if (!deadlineFired)
            return WaitEnd::Abandoned; // the loop was ended from outside: the application quits
    }
}

} // namespace transaction
