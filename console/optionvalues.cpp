#include "console/optionvalues.h"

#include "frame/hextext.h"
#include "serial/portmap.h"

#include <QRegularExpression>

namespace console
{

namespace
{

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

} // namespace

std::optional<qint64> decimal(const QString &text, qint64 low, qint64 high)
{
    static const QRegularExpression digitsOnly(QStringLiteral("^[0-9]+$"));
    if (!digitsOnly.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<int> portNumber(const QString &text, QString &error)
{
    static const QRegularExpression named(QStringLiteral("^(?:com)?\\s*([0-9]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = named.match(text.trimmed());
    if (!match.hasMatch()) {
        error = QStringLiteral("--port \"%1\" names no port: give Com5, com5 or 5.").arg(text);
        return std::nullopt;
    }
    const std::optional<qint64> number = decimal(match.captured(1), 1, serial::kMaxPortNumber);
    if (!number) {
        error = QStringLiteral("--port \"%1\": the port number must be 1 to %2.")
                    .arg(text)
                    .arg(serial::kMaxPortNumber);
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

std::optional<serial::CommSettings> lineSettings(const QString &speed, const QString &framing,
                                                 QString &error)
{
    serial::CommSettings settings;
    if (const serial::CommError failure =
            serial::parseSettings(speed + QLatin1Char(',') + framing, settings)) {
        error = failure.message;
        return std::nullopt;
    }
    return settings;
}

QString hexField(const QString &option, const QString &text, qint16 width, QString &error)
{
    for (const QChar c : text) {
        if (!isHexDigit(c)) {
            error = QStringLiteral("--%1 \"%2\": \"%3\" is not a hexadecimal digit. Use 0-9 and "
                                   "A-F.")
                        .arg(option, text, QString(c));
            return {};
        }
    }
    if (text.size() > width) {
        error = QStringLiteral("--%1 \"%2\" is too long: at most %3 hexadecimal digits (%4 to "
                               "%5).")
                    .arg(option, text)
                    .arg(width)
                    .arg(QString(width, QLatin1Char('0')), QString(width, QLatin1Char('F')));
        return {};
    }
    return frame::Length_str(text, width);
}

} // namespace console
