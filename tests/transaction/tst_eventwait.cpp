#include "transaction/eventwait.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <ctime>

using transaction::WaitEnd;
using transaction::waitProcessingEvents;

namespace
{

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

class TestEventWait : public QObject
{
    Q_OBJECT

private slots:
    void lastsAtLeastTheRequestedTime_data();
    void lastsAtLeastTheRequestedTime();
    void handlesEventsWhileWaiting();
    void nonPositiveWaitHandlesNoEvent_data();
    void nonPositiveWaitHandlesNoEvent();
    void sleepsInsteadOfPolling();
    void waitNestedInAWaitEndsLate();
    void waitInAPostedEventRunsTheEventsQueuedBehindIt();
    void abandonEndsTheWaitAtOnce();
    void abandonBeforeTheStartHandlesNoEvent();
    // Last: an exit of the application leaves the thread's event loops unable to run.
    void applicationExitAbandons();
};

void TestEventWait::lastsAtLeastTheRequestedTime_data()
{
    QTest::addColumn<double>("seconds");
    QTest::newRow("1 ms") << 0.001;
    QTest::newRow("10 ms") << 0.010;
    QTest::newRow("fraction of a millisecond") << 0.0105;
    QTest::newRow("100 ms") << 0.100;
    QTest::newRow("250 ms") << 0.250;
}

void TestEventWait::lastsAtLeastTheRequestedTime()
{
    QFETCH(double, seconds);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(waitProcessingEvents(seconds), WaitEnd::Elapsed);
    const double ms = elapsedMs(clock);
    QVERIFY2(ms >= seconds * 1000.0, qPrintable(QString::number(ms)));
    QVERIFY2(ms < seconds * 1000.0 + 100.0, qPrintable(QString::number(ms)));
}

void TestEventWait::handlesEventsWhileWaiting()
{
    bool queuedRan = false;
    double timerAtMs = -1;
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(
        this, [&] { queuedRan = true; }, Qt::QueuedConnection);
    QTimer::singleShot(40, this, [&] { timerAtMs = elapsedMs(clock); });
    QCOMPARE(waitProcessingEvents(0.150), WaitEnd::Elapsed);
    QVERIFY(queuedRan);
    QVERIFY(timerAtMs >= 40.0);
    QVERIFY(timerAtMs < 150.0);
}

void TestEventWait::nonPositiveWaitHandlesNoEvent_data()
{
    QTest::addColumn<double>("seconds");
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -0.5;
    QTest::newRow("not a number") << std::nan("");
}

void TestEventWait::nonPositiveWaitHandlesNoEvent()
{
    QFETCH(double, seconds);
    bool queuedRan = false;
    QMetaObject::invokeMethod(
        this, [&] { queuedRan = true; }, Qt::QueuedConnection);
    QElapsedTimer clock;
    clock.start();
    bool asked = false;
    QCOMPARE(waitProcessingEvents(seconds,
                                  [&] {
                                      asked = true;
                                      return false;
                                  }),
             WaitEnd::Elapsed);
    QVERIFY(elapsedMs(clock) < 5.0);
    QVERIFY(!queuedRan);
    QVERIFY(!asked);
    QTRY_VERIFY(queuedRan);
}

void TestEventWait::sleepsInsteadOfPolling()
{
    // A timer every 20 ms keeps events coming; between them the thread must sleep.
    QTimer ticks;
    int tickCount = 0;
    connect(&ticks, &QTimer::timeout, this, [&] { ++tickCount; });
    ticks.start(20);
    const double cpuBefore = processCpuSeconds();
    QCOMPARE(waitProcessingEvents(0.300, [] { return false; }), WaitEnd::Elapsed);
    const double cpuMs = (processCpuSeconds() - cpuBefore) * 1000.0;
    QVERIFY(tickCount >= 10);
    QVERIFY2(cpuMs < 30.0, qPrintable(QStringLiteral("CPU time %1 ms").arg(cpuMs)));
}

void TestEventWait::waitNestedInAWaitEndsLate()
{
    // A handler that runs during the wait may itself wait longer; the outer wait then ends as
    // soon as control comes back to it.
    double innerEndMs = -1;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(20, this, [&] {
        waitProcessingEvents(0.200);
        innerEndMs = elapsedMs(clock);
    });
    QCOMPARE(waitProcessingEvents(0.050), WaitEnd::Elapsed);
    const double outerEndMs = elapsedMs(clock);
    QVERIFY(innerEndMs >= 220.0);
    QVERIFY(outerEndMs >= innerEndMs);
    QVERIFY(outerEndMs < innerEndMs + 30.0);
}

void TestEventWait::waitInAPostedEventRunsTheEventsQueuedBehindIt()
{
    // A queued timer tick runs a wait; a repaint queued behind the tick must run during that
    // wait, not only after it.
    bool behindRan = false;
    bool behindRanDuringWait = false;
    QMetaObject::invokeMethod(
        this,
        [&] {
            waitProcessingEvents(0.050);
            behindRanDuringWait = behindRan;
        },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [&] { behindRan = true; }, Qt::QueuedConnection);
    QTRY_VERIFY(behindRan);
    QVERIFY(behindRanDuringWait);
}

void TestEventWait::abandonEndsTheWaitAtOnce()
{
    bool closing = false;
    QTimer::singleShot(50, this, [&] { closing = true; });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(waitProcessingEvents(5.0, [&] { return closing; }), WaitEnd::Abandoned);
    const double ms = elapsedMs(clock);
    QVERIFY(ms >= 50.0);
    QVERIFY2(ms < 250.0, qPrintable(QString::number(ms)));
}

void TestEventWait::abandonBeforeTheStartHandlesNoEvent()
{
    bool queuedRan = false;
    QMetaObject::invokeMethod(
        this, [&] { queuedRan = true; }, Qt::QueuedConnection);
    QCOMPARE(waitProcessingEvents(1.0, [] { return true; }), WaitEnd::Abandoned);
    QVERIFY(!queuedRan);
    QTRY_VERIFY(queuedRan);
}

void TestEventWait::applicationExitAbandons()
{
    QTimer::singleShot(50, this, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(waitProcessingEvents(5.0), WaitEnd::Abandoned);
    QVERIFY(elapsedMs(clock) < 250.0);
}

QTEST_GUILESS_MAIN(TestEventWait)
#include "tst_eventwait.moc"
