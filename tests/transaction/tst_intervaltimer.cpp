#include "transaction/intervaltimer.h"

#include <QSignalSpy>
#include <QTest>

class TestIntervalTimer : public QObject
{
    Q_OBJECT

private slots:
    void intervalZeroIsStopped();
    void intervalOneTicksRepeatedly();
    void negativeIntervalIsStopped();
    void suspension_data();
    void suspension();
};

using transaction::IntervalTimer;

void TestIntervalTimer::intervalZeroIsStopped()
{
    IntervalTimer timer;
    QSignalSpy ticks(&timer, &IntervalTimer::timeout);
    timer.setInterval(0);
    QTest::qWait(50);
    QCOMPARE(ticks.count(), 0);
    QCOMPARE(timer.interval(), 0);
}

void TestIntervalTimer::intervalOneTicksRepeatedly()
{
    IntervalTimer timer;
    QSignalSpy ticks(&timer, &IntervalTimer::timeout);
    timer.setInterval(1);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 5, 2000);
    timer.setInterval(0);
    QCoreApplication::processEvents();
    const auto stoppedAt = ticks.count();
    QTest::qWait(30);
    QCOMPARE(ticks.count(), stoppedAt);
}

void TestIntervalTimer::negativeIntervalIsStopped()
{
    IntervalTimer timer;
    QSignalSpy ticks(&timer, &IntervalTimer::timeout);
    timer.setInterval(1);
    timer.setInterval(-5);
    QTest::qWait(30);
    QCOMPARE(ticks.count(), 0);
    QCOMPARE(timer.interval(), 0);
}

void TestIntervalTimer::suspension_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("suspendedMs");
    QTest::addColumn<bool>("stopWhileSuspended");
    QTest::addColumn<bool>("overdueTick");
    QTest::newRow("fell due while suspended: one tick at the next turn")
        << 20 << 60 << false << true;
    QTest::newRow("not yet due: no tick at once") << 1000 << 10 << false << false;
    QTest::newRow("stopped while suspended: no tick") << 20 << 60 << true << false;
}

void TestIntervalTimer::suspension()
{
    QFETCH(int, interval);
    QFETCH(int, suspendedMs);
    QFETCH(bool, stopWhileSuspended);
    QFETCH(bool, overdueTick);
    IntervalTimer timer;
    QSignalSpy ticks(&timer, &IntervalTimer::timeout);
    timer.setInterval(interval);
    timer.setSuspended(true);
    QVERIFY(timer.isSuspended());
    QTest::qWait(suspendedMs);
    QCOMPARE(ticks.count(), 0);
    if (stopWhileSuspended)
        timer.setInterval(0);
    timer.setSuspended(false);
    QCOMPARE(ticks.count(), 0); // never from inside setSuspended
    QCoreApplication::processEvents();
    QCOMPARE(ticks.count(), overdueTick ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestIntervalTimer)
#include "tst_intervaltimer.moc"
