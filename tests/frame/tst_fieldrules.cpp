#include "frame/fieldrules.h"

#include <QTest>

class TestFieldRules : public QObject
{
    Q_OBJECT

private slots:
    void hexKeyFilterOverEveryCode();
    void decimalKeyFilterOverEveryCode();
    void clampDelayText_data();
    void clampDelayText();
    void delayMilliseconds_data();
    void delayMilliseconds();
};

namespace
{

// Checks a filter against every 16-bit code: the listed characters pass unchanged, every
// other code comes back as 0.
void checkFilter(qint16 (*filter)(qint16), const QString &passing)
{
    int passed = 0;
    for (int code = -32768; code <= 32767; ++code) {
        const auto keyAscii = static_cast<qint16>(code);
        const bool listed = code == 8 || (code > 0 && passing.contains(QChar(char16_t(code))));
        const qint16 result = filter(keyAscii);
        if (listed) {
            QVERIFY2(result == keyAscii, qPrintable(QStringLiteral("code %1 dropped").arg(code)));
            ++passed;
        } else {
            QVERIFY2(result == 0, qPrintable(QStringLiteral("code %1 passed").arg(code)));
        }
    }
    QCOMPARE(passed, passing.size() + 1);
}

} // namespace

void TestFieldRules::hexKeyFilterOverEveryCode()
{
    checkFilter(&frame::hexKeyFilter, QStringLiteral("0123456789abcdefABCDEF"));
}

void TestFieldRules::decimalKeyFilterOverEveryCode()
{
    checkFilter(&frame::decimalKeyFilter, QStringLiteral("0123456789"));
}

void TestFieldRules::clampDelayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("far above") << "99999"
                               << "10000";
    QTest::newRow("just above") << "10001"
                                << "10000";
    QTest::newRow("upper bound kept") << "10000"
                                      << "10000";
    QTest::newRow("below") << "5"
                           << "10";
    QTest::newRow("zero") << "0"
                          << "10";
    QTest::newRow("lower bound kept") << "10"
                                      << "10";
    QTest::newRow("leading zeros kept when in range") << "0050"
                                                      << "0050";
    QTest::newRow("leading zeros, below") << "0009"
                                          << "10";
    QTest::newRow("default") << "100"
                             << "100";
    QTest::newRow("empty") << ""
                           << "10";
    QTest::newRow("letters (pasted)") << "abc"
                                      << "10";
    QTest::newRow("digits then letters") << "12ab"
                                         << "10";
    QTest::newRow("blanks only") << "   "
                                 << "10";
    QTest::newRow("negative") << "-5"
                              << "10";
    QTest::newRow("fraction above") << "10000.5"
                                    << "10000";
}

void TestFieldRules::clampDelayText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(frame::clampDelayText(text), expected);
}

void TestFieldRules::delayMilliseconds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("default") << "100" << 100.0;
    QTest::newRow("typed, not yet clamped") << "1" << 1.0;
    QTest::newRow("leading zeros") << "0050" << 50.0;
    QTest::newRow("empty waits the minimum") << "" << 10.0;
    QTest::newRow("not a number waits the minimum") << "abc" << 10.0;
}

void TestFieldRules::delayMilliseconds()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(frame::delayMilliseconds(text), expected);
}

QTEST_APPLESS_MAIN(TestFieldRules)
#include "tst_fieldrules.moc"
