// The statistics and the number formats of the benchmark table.
#include "bench/benchreport.h"
#include "bench/benchstats.h"

#include <QTest>

using Values = std::vector<double>;

class TestBenchStats : public QObject
{
    Q_OBJECT

private slots:
    void orderStatistics_data();
    void orderStatistics();
    void fitLine_data();
    void fitLine();
    void ratioText_data();
    void ratioText();
    void duration_data();
    void duration();
};

void TestBenchStats::orderStatistics_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p99");
    QTest::addColumn<double>("max");
    Values hundred;
    for (int i = 100; i >= 1; --i)
        hundred.push_back(i);
    QTest::newRow("empty") << Values{} << 0.0 << 0.0 << 0.0;
    QTest::newRow("one") << Values{7} << 7.0 << 7.0 << 7.0;
    QTest::newRow("odd count, unsorted") << Values{3, 1, 2} << 2.0 << 3.0 << 3.0;
    QTest::newRow("even count: mean of the middle two") << Values{4, 1, 3, 2} << 2.5 << 4.0 << 4.0;
    // Nearest rank: 99 % of 100 values is the 99th smallest.
    QTest::newRow("1 to 100") << hundred << 50.5 << 99.0 << 100.0;
    QTest::newRow("ten values: p99 is the largest")
        << Values{10, 9, 8, 7, 6, 5, 4, 3, 2, 1} << 5.5 << 10.0 << 10.0;
    QTest::newRow("negative") << Values{-3, -1, -2} << -2.0 << -1.0 << -1.0;
}

void TestBenchStats::orderStatistics()
{
    QFETCH(Values, values);
    QFETCH(double, median);
    QFETCH(double, p99);
    QFETCH(double, max);
    QCOMPARE(bench::median(values), median);
    QCOMPARE(bench::percentile(values, 99), p99);
    QCOMPARE(bench::maximum(values), max);
}

void TestBenchStats::fitLine_data()
{
    QTest::addColumn<Values>("xs");
    QTest::addColumn<Values>("ys");
    QTest::addColumn<double>("intercept");
    QTest::addColumn<double>("slope");
    QTest::newRow("exact line") << Values{0, 1, 2} << Values{1, 3, 5} << 1.0 << 2.0;
    // Residuals +1, -2, +1 around y = 2x: least squares keeps the line.
    QTest::newRow("scattered") << Values{1, 2, 3} << Values{3, 2, 7} << 0.0 << 2.0;
    QTest::newRow("one x only: flat through the mean")
        << Values{4, 4} << Values{1, 3} << 2.0 << 0.0;
    QTest::newRow("no points") << Values{} << Values{} << 0.0 << 0.0;
}

void TestBenchStats::fitLine()
{
    QFETCH(Values, xs);
    QFETCH(Values, ys);
    QFETCH(double, intercept);
    QFETCH(double, slope);
    const bench::LinearFit fit = bench::fitLine(xs, ys);
    QCOMPARE(fit.intercept + 1.0, intercept + 1.0); // fuzzy compare, also near zero
    QCOMPARE(fit.slope + 1.0, slope + 1.0);
}

void TestBenchStats::ratioText_data()
{
    QTest::addColumn<double>("ours");
    QTest::addColumn<double>("reference");
    QTest::addColumn<QString>("text");
    QTest::newRow("much smaller") << 1.0 << 450.0 << "1/450";
    QTest::newRow("a few times smaller") << 0.5 << 2.0 << "1/4.0";
    QTest::newRow("about equal") << 95.0 << 100.0 << "0.95";
    QTest::newRow("larger") << 176.0 << 100.0 << "1.76";
    QTest::newRow("ours zero") << 0.0 << 5.0 << "-";
    QTest::newRow("no reference") << 5.0 << 0.0 << "-";
}

void TestBenchStats::ratioText()
{
    QFETCH(double, ours);
    QFETCH(double, reference);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(bench::ratioText(ours, reference)), text);
}

void TestBenchStats::duration_data()
{
    QTest::addColumn<double>("milliseconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("under 1 ms") << 0.5 << "0.500 ms";
    QTest::newRow("under 10 ms") << 5.904 << "5.90 ms";
    QTest::newRow("under 100 ms") << 15.04 << "15.0 ms";
    QTest::newRow("under 10 s") << 5563.4 << "5563 ms";
    QTest::newRow("seconds") << 12340.0 << "12.3 s";
    QTest::newRow("hundreds of seconds") << 231400.0 << "231 s";
}

void TestBenchStats::duration()
{
    QFETCH(double, milliseconds);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(bench::duration(milliseconds)), text);
}

QTEST_APPLESS_MAIN(TestBenchStats)
#include "tst_benchstats.moc"
