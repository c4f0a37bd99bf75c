// The cutting rule of port discovery and the names around it: the port text is at most four
// characters without ")", taken after the first upper-case "COM"; the preselected position is
// one below the number it reads; discovery names give their own number back; link names
// take "com" and a plain decimal number only.
#include "app/porttooltip.h"
#include "fuzzsupport.h"
#include "serial/portdiscovery.h"
#include "serial/portmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const auto commPort = data.ConsumeIntegral<qint16>();
    const auto number = data.ConsumeIntegralInRange<int>(-5, serial::kMaxPortNumber + 5);
    const QString name = data.ConsumeBool()
                             ? fuzz::takeText(data, 48)
                             : fuzz::takeTextFrom(data, 48, QStringLiteral("COMcom()0123456789 -"));

    const QString text = serial::portTextOfName(name);
    FUZZ_CHECK(text.size() <= 4);
    FUZZ_CHECK(!text.contains(QLatin1Char(')')));
    // The model: the four characters after the first "COM" (after the second character when
    // there is none), with the parentheses that close removed.
    const qsizetype at = name.indexOf(QStringLiteral("COM"));
    QString window = name.mid(at >= 0 ? at + 3 : 2, 4);
    window.remove(QLatin1Char(')'));
    FUZZ_CHECK(text == window);

    const int position = serial::preselectedPosition({name}, commPort);
    bool ok = false;
    const short value = text.toShort(&ok);
    FUZZ_CHECK(position == (ok ? value : 0) - 1);
    FUZZ_CHECK(serial::preselectedPosition({}, commPort) == commPort - 1);

    if (number >= 1 && number <= serial::kMaxPortNumber) {
        const QString path = fuzz::takeTextFrom(data, 16, QStringLiteral("/devtyUSB0123"));
        const QString description = fuzz::takeText(data, 16);
        const QStringList names =
            serial::discoveryNames({serial::MappedPort{number, path, description, false}});
        FUZZ_CHECK(names.size() == 1);
        // A description or path that holds "COM" of its own comes first for the cutting rule.
        if (!(description + path).contains(QStringLiteral("COM")) && number <= 9999)
            FUZZ_CHECK(serial::portTextOfName(names[0]) == QString::number(number));
        // The map never holds a port without a device path.
        FUZZ_CHECK(
            path.isEmpty() ||
            !portToolTip({serial::MappedPort{number, path, description, false}}, number).isEmpty());
    }

    const int link = serial::portLinkNumber(name);
    FUZZ_CHECK(link >= 0 && link <= serial::kMaxPortNumber);
    if (link > 0)
        FUZZ_CHECK(name == QStringLiteral("com") + QString::number(link));
    else if (name.startsWith(QLatin1String("com")) && name.size() > 3) {
        const QString digits = name.mid(3);
        bool isNumber = false;
        const int n = digits.toInt(&isNumber);
        FUZZ_CHECK(
            !(isNumber && QString::number(n) == digits && n >= 1 && n <= serial::kMaxPortNumber));
    }
    return 0;
}
