#include "serial/commsettings.h"

#include <QStringList>

namespace serial
{

namespace
{

CommError badSettings(const QString &text, const QString &reason)
{
    return CommError::make(
        CommError::BadSettings,
        QStringLiteral("The settings \"%1\" are not valid: %2. Write speed, parity, data bits and "
                       "stop bits separated by commas, for example 9600,N,8,1.")
            .arg(text, reason));
}

bool allDigits(const QString &field)
{
    if (field.isEmpty())
        return false;
    for (const QChar c : field)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

CommError parseSettings(const QString &text, CommSettings &settings)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return badSettings(text, QStringLiteral("it needs exactly four fields"));

    CommSettings parsed;
    bool ok = false;
    const qint32 rate = fields[0].toInt(&ok, 10);
    if (!allDigits(fields[0]) || !ok || rate <= 0)
        return badSettings(text, QStringLiteral("the speed \"%1\" is not a positive whole number "
                                                "of bits per second")
                                     .arg(fields[0]));
    parsed.baudRate = rate;

    // Letters compared as ASCII: Unicode upper-casing would take the long s for an S.
    const QString parity =
        fields[1].size() == 1 && fields[1][0].unicode() < 0x80 ? fields[1].toUpper() : QString();
    if (parity == QLatin1String("N"))
        parsed.parity = CommSettings::Parity::None;
    else if (parity == QLatin1String("E"))
        parsed.parity = CommSettings::Parity::Even;
    else if (parity == QLatin1String("O"))
        parsed.parity = CommSettings::Parity::Odd;
    else if (parity == QLatin1String("M"))
        parsed.parity = CommSettings::Parity::Mark;
    else if (parity == QLatin1String("S"))
        parsed.parity = CommSettings::Parity::Space;
    else
        return badSettings(
            text, QStringLiteral("the parity \"%1\" is not one of N, E, O, M or S").arg(fields[1]));

    if (fields[2].size() != 1 || fields[2][0] < QLatin1Char('5') || fields[2][0] > QLatin1Char('8'))
        return badSettings(
            text, QStringLiteral("the data bits \"%1\" are not 5, 6, 7 or 8").arg(fields[2]));
    parsed.dataBits = fields[2][0].unicode() - '0';

    if (fields[3] == QLatin1String("1"))
        parsed.stopBits = CommSettings::StopBits::One;
    else if (fields[3] == QLatin1String("1.5"))
        parsed.stopBits = CommSettings::StopBits::OneAndHalf;
    else if (fields[3] == QLatin1String("2"))
        parsed.stopBits = CommSettings::StopBits::Two;
    else
        return badSettings(
            text, QStringLiteral("the stop bits \"%1\" are not 1, 1.5 or 2").arg(fields[3]));

    settings = parsed;
    return {};
}

QString settingsText(const CommSettings &settings)
{
    static const char parityLetters[] = {'N', 'E', 'O', 'M', 'S'};
    static const char *const stopTexts[] = {"1", "1.5", "2"};
    return QStringLiteral("%1,%2,%3,%4")
        .arg(settings.baudRate)
        .arg(QLatin1Char(parityLetters[static_cast<int>(settings.parity)]))
        .arg(settings.dataBits)
        .arg(QLatin1String(stopTexts[static_cast<int>(settings.stopBits)]));
}

} // namespace serial
