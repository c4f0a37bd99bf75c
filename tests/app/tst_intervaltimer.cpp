#include "app/intervaltimer.h"

#include <QSignalSpy>
#include <QTest>

class TestIntervalTimer : public QObject
{
    Q_OBJECT

private slots:
    void intervalZeroIsStopped();
    void intervalOneTicksRepeatedly();
    void negativeIntervalIsStopped();
};

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

QTEST_GUILESS_MAIN(TestIntervalTimer)
#include "tst_intervaltimer.moc"
