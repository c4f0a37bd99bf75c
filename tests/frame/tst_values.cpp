#include "frame/values.h"

#include <QTest>

using frame::ValueLayout;
using frame::ValueType;
using frame::WordOrder;

Q_DECLARE_METATYPE(ValueLayout)

namespace
{

// "type[,little][,swap]".
ValueLayout layout(const char *text)
{
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char(','));
    return {*frame::valueTypeNamed(parts[0]),
            parts.contains(QLatin1String("little")) ? WordOrder::Little : WordOrder::Big,
            parts.contains(QLatin1String("swap"))};
}

QList<quint16> words(const char *hex)
{
    QList<quint16> registers;
    for (const QString &word : QString::fromLatin1(hex).split(QLatin1Char(' ')))
        registers << word.toUShort(nullptr, 16);
    return registers;
}

} // namespace

class TestValues : public QObject
{
    Q_OBJECT

private slots:
    void readAndWriteBack_data();
    void readAndWriteBack();
};

void TestValues::readAndWriteBack_data()
{
    QTest::addColumn<ValueLayout>("layout");
    QTest::addColumn<QList<quint16>>("registers");
    QTest::addColumn<QString>("text"); // one value: the registers' reading, and what writes them

    // The slave's registers read back by wirelark-poll's tests cover the plain cases.
    QTest::newRow("f32 little swap") << layout("f32,little,swap") << words("0000 AC41") << "21.5";
    QTest::newRow("f32 shortest") << layout("f32") << words("3DCC CCCD") << "0.1";
    QTest::newRow("f32 nan") << layout("f32") << words("7FC0 0000") << "nan";
    QTest::newRow("f32 -inf") << layout("f32") << words("FF80 0000") << "-inf";
    QTest::newRow("u64 max") << layout("u64") << words("FFFF FFFF FFFF FFFF")
                             << "18446744073709551615";
}

void TestValues::readAndWriteBack()
{
    QFETCH(ValueLayout, layout);
    QFETCH(QList<quint16>, registers);
    QFETCH(QString, text);

    QCOMPARE(frame::valueTexts(registers, layout), QStringList{text});
    QString error;
    QCOMPARE(frame::valueRegisters(text, layout, error), registers);
    QCOMPARE(error, QString());
}

QTEST_APPLESS_MAIN(TestValues)
#include "tst_values.moc"
