#include "frame/values.h"

#include <QTest>

using frame::ValueLayout;
using frame::ValueType;
using frame::WordOrder;

Q_DECLARE_METATYPE(ValueLayout)

namespace
{

// "type[,little][,swap]".
ValueLayout layout(const char *spec)
{
    const QStringList parts = QString::fromLatin1(spec).split(QLatin1Char(','));
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
    void refused_data();
    void refused();
};

void TestValues::readAndWriteBack_data()
{
    QTest::addColumn<ValueLayout>("layout");
    QTest::addColumn<QList<quint16>>("registers");
    QTest::addColumn<QString>("text"); // one value: the registers' reading, and what writes them

    QTest::newRow("u16") << layout("u16") << words("FFFE") << "65534";
    QTest::newRow("s16 negative") << layout("s16") << words("FFFE") << "-2";
    QTest::newRow("hex") << layout("hex") << words("00AB") << "00AB";
    QTest::newRow("u16 byte swap") << layout("u16,swap") << words("0100") << "1";
    QTest::newRow("u32 big") << layout("u32") << words("0001 0002") << "65538";
    QTest::newRow("u32 little") << layout("u32,little") << words("0002 0001") << "65538";
    QTest::newRow("s32 min") << layout("s32") << words("8000 0000") << "-2147483648";
    QTest::newRow("f32 big") << layout("f32") << words("41AC 0000") << "21.5";
    QTest::newRow("f32 little") << layout("f32,little") << words("0000 41AC") << "21.5";
    QTest::newRow("f32 swap") << layout("f32,swap") << words("AC41 0000") << "21.5";
    QTest::newRow("f32 little swap") << layout("f32,little,swap") << words("0000 AC41") << "21.5";
    QTest::newRow("f32 shortest") << layout("f32") << words("3DCC CCCD") << "0.1";
    QTest::newRow("f32 nan") << layout("f32") << words("7FC0 0000") << "nan";
    QTest::newRow("f32 -inf") << layout("f32") << words("FF80 0000") << "-inf";
    QTest::newRow("u64 max") << layout("u64") << words("FFFF FFFF FFFF FFFF")
                             << "18446744073709551615";
    QTest::newRow("u64 little") << layout("u64,little") << words("0004 0003 0002 0001")
                                << "281483566841860";
    QTest::newRow("f64") << layout("f64") << words("4035 8000 0000 0000") << "21.5";
    QTest::newRow("f64 little swap")
        << layout("f64,little,swap") << words("0000 0000 0080 3540") << "21.5";
    QTest::newRow("f64 inf") << layout("f64") << words("7FF0 0000 0000 0000") << "inf";
}

void TestValues::readAndWriteBack()
{
    QFETCH(ValueLayout, layout);
    QFETCH(QList<quint16>, registers);
    QFETCH(QString, text);

    QCOMPARE(frame::valueTexts(registers, layout), QStringList{text});
    // A register left over after the last whole value is not read.
    QCOMPARE(frame::valueTexts(registers + words("1234"), layout).size(),
             layout.type == ValueType::U16 || layout.type == ValueType::S16 ||
                     layout.type == ValueType::Hex
                 ? 2
                 : 1);
    QString error;
    QCOMPARE(frame::valueRegisters(text, layout, error), registers);
    QCOMPARE(error, QString());
}

void TestValues::refused_data()
{
    QTest::addColumn<ValueLayout>("layout");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("u16 too big") << layout("u16") << "65536"
                                 << "from 0 to 65535";
    QTest::newRow("u16 negative") << layout("u16") << "-1"
                                  << "from 0 to 65535";
    QTest::newRow("s16 too small") << layout("s16") << "-32769"
                                   << "from -32768 to 32767";
    QTest::newRow("s32 too big") << layout("s32") << "2147483648"
                                 << "to 2147483647";
    QTest::newRow("u32 fraction") << layout("u32") << "1.5"
                                  << "whole number";
    QTest::newRow("hex five digits") << layout("hex") << "0x12345"
                                     << "1 to 4 hexadecimal";
    QTest::newRow("hex letter") << layout("hex") << "12G"
                                << "1 to 4 hexadecimal";
    QTest::newRow("f32 too big") << layout("f32") << "1e39"
                                 << "largest f32";
    QTest::newRow("f64 word") << layout("f64") << "warm"
                              << "such as 21.5";
    QTest::newRow("empty") << layout("u16") << ""
                           << "\"\" is not a u16 value";
}

void TestValues::refused()
{
    QFETCH(ValueLayout, layout);
    QFETCH(QString, text);
    QFETCH(QString, message);

    QString error;
    QVERIFY(frame::valueRegisters(text, layout, error).isEmpty());
    QVERIFY2(error.contains(message), qPrintable(error));
}

QTEST_APPLESS_MAIN(TestValues)
#include "tst_values.moc"
