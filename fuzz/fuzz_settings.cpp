// The settings parser: a text is taken exactly when it is four comma-separated fields of the
// forms the component knows; a refused text leaves the settings as they were and is quoted in
// the message; an accepted one writes back to a text that parses to the same settings.
#include "fuzzsupport.h"
#include "serial/commsettings.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString text =
        data.ConsumeBool()
            ? fuzz::takeText(data, 40)
            : fuzz::takeTextFrom(
                  data, 40, QStringLiteral("0123456789,.NEOMSneoms+- \u017F\u212A\u0131\uFF18"));

    const serial::CommSettings sentinel{4800, serial::CommSettings::Parity::Odd, 7,
                                        serial::CommSettings::StopBits::Two};
    serial::CommSettings settings = sentinel;
    const serial::CommError error = serial::parseSettings(text, settings);

    // The model of a valid text.
    const QStringList fields = text.split(QLatin1Char(','));
    bool valid = fields.size() == 4;
    if (valid) {
        const QString &rate = fields[0];
        bool digitsOnly = !rate.isEmpty();
        for (const QChar c : rate)
            digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
        bool fits = false;
        const qint64 r = rate.toLongLong(&fits);
        valid = digitsOnly && fits && r > 0 && r <= 0x7FFFFFFF;
        valid =
            valid && fields[1].size() == 1 && QStringLiteral("NEOMSneoms").contains(fields[1][0]);
        valid = valid && fields[2].size() == 1 && fields[2][0] >= u'5' && fields[2][0] <= u'8';
        valid = valid && (fields[3] == QLatin1String("1") || fields[3] == QLatin1String("1.5") ||
                          fields[3] == QLatin1String("2"));
    }
    FUZZ_CHECK(error.failed() == !valid);

    if (error.failed()) {
        FUZZ_CHECK(error.number == serial::CommError::BadSettings);
        FUZZ_CHECK(settings == sentinel);
        FUZZ_CHECK(error.message.contains(text));
        FUZZ_CHECK(error.message.contains(QLatin1String("9600,N,8,1")));
        return 0;
    }
    FUZZ_CHECK(settings.baudRate > 0);
    FUZZ_CHECK(settings.dataBits >= 5 && settings.dataBits <= 8);
    const QString written = serial::settingsText(settings);
    serial::CommSettings again = sentinel;
    FUZZ_CHECK(!serial::parseSettings(written, again).failed());
    FUZZ_CHECK(again == settings);
    FUZZ_CHECK(written.compare(text, Qt::CaseInsensitive) == 0 ||
               fields[0].startsWith(QLatin1Char('0')));
    return 0;
}
