#include "app/windowplacement.h"

#include <QTest>

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void centredTopLeft_data();
    void centredTopLeft();
};

void TestWindowPlacement::centredTopLeft_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QPoint>("expected");

    QTest::newRow("client area only")
        << QRect(0, 0, 1280, 1024) << QSize(565, 431) << QPoint(357, 296);
    QTest::newRow("with a frame") << QRect(0, 0, 1920, 1080) << QSize(571, 460) << QPoint(674, 310);
    QTest::newRow("even differences")
        << QRect(0, 0, 1000, 800) << QSize(600, 400) << QPoint(200, 200);
    QTest::newRow("screen right of another")
        << QRect(1920, 0, 1280, 1024) << QSize(565, 431) << QPoint(2277, 296);
    QTest::newRow("screen above another")
        << QRect(0, -768, 1024, 768) << QSize(565, 431) << QPoint(229, -600);
    QTest::newRow("screen narrower than the window: not clamped")
        << QRect(0, 0, 400, 300) << QSize(565, 431) << QPoint(-83, -66);
    QTest::newRow("same size") << QRect(0, 0, 565, 431) << QSize(565, 431) << QPoint(0, 0);
}

void TestWindowPlacement::centredTopLeft()
{
    QFETCH(QRect, screen);
    QFETCH(QSize, outer);
    QFETCH(QPoint, expected);
    QCOMPARE(::centredTopLeft(screen, outer), expected);
}

QTEST_APPLESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
