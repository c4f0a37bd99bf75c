#include "console/optionvalues.h"

#include "frame/hextext.h"
#include "serial/portmap.h"

#include <QRegularExpression>
#include <algorithm>

namespace console
{

std::optional<qint64> number(const QString &text, qint64 low, qint64 high, int base)
{
    const QString digits = QStringLiteral("0123456789abcdefABCDEF").left(base == 16 ? 22 : 10);
    bool ok = !text.isEmpty() &&
              std::all_of(text.begin(), text.end(), [&](QChar c) { return digits.contains(c); });
    const qint64 value = ok ? text.toLongLong(&ok, base) : 0;
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
    const std::optional<qint64> port = number(match.captured(1), 1, serial::kMaxPortNumber);
    if (!port) {
        error = QStringLiteral("--port \"%1\": the port number must be 1 to %2.")
                    .arg(text)
                    .arg(serial::kMaxPortNumber);
        return std::nullopt;
    }
    return static_cast<int>(*port);
}

std::optional<SerialPortChoice> serialPort(const QString &text, QString &error,
                                           const QString &alsoTaken)
{
    if (text.contains(QLatin1Char('/')))
        return SerialPortChoice{{}, text};
    const std::optional<int> number = portNumber(text, error);
    if (!number) {
        error += QStringLiteral(" %1 is taken as well.").arg(alsoTaken);
        return std::nullopt;
    }
    return SerialPortChoice{QStringLiteral("Com%1").arg(*number), {}};
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
        if (!number(c, 0, 15, 16)) {
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

std::optional<frame::ValueLayout> valueLayout(const QString &type, const QString &wordOrder,
                                              bool byteSwap, QString &error)
{
    frame::ValueLayout layout;
    layout.byteSwap = byteSwap;
    if (!type.isEmpty()) {
        const std::optional<frame::ValueType> named = frame::valueTypeNamed(type);
        if (!named) {
            error =
                QStringLiteral("--type \"%1\": give one of %2.").arg(type, frame::valueTypeNames());
            return std::nullopt;
        }
        layout.type = *named;
    }
    if (wordOrder == QLatin1String("little"))
        layout.wordOrder = frame::WordOrder::Little;
    else if (!wordOrder.isEmpty() && wordOrder != QLatin1String("big")) {
        error = QStringLiteral("--word-order \"%1\": give big (the first register holds the most "
                               "significant word) or little.")
                    .arg(wordOrder);
        return std::nullopt;
    }
    return layout;
}

std::optional<QList<int>> addressList(const QString &text, int base, QString &error)
{
    constexpr int kLowest = 1;
    constexpr int kHighest = 247;
    const auto wrong = [&](const QString &why) {
        error = QStringLiteral("--address \"%1\": %2; give addresses %3 to %4%5 as in 1,2,5-7.")
                    .arg(text, why, QString::number(kLowest, base).toUpper(),
                         QString::number(kHighest, base).toUpper(),
                         base == 16 ? QStringLiteral(" in hexadecimal") : QString());
        return std::nullopt;
    };
    QList<int> addresses;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        const std::optional<qint64> low = number(ends[0], kLowest, kHighest, base);
        const std::optional<qint64> high =
            ends.size() == 2 ? number(ends[1], kLowest, kHighest, base) : low;
        if (ends.size() > 2 || !low || !high)
            return wrong(QStringLiteral("\"%1\" is not an address or a range").arg(item));
        if (*high < *low)
            return wrong(QStringLiteral("the range %1 runs backwards").arg(item));
        for (qint64 address = *low; address <= *high; ++address) {
            if (addresses.contains(int(address)))
                return wrong(QStringLiteral("%1 is given twice")
                                 .arg(QString::number(address, base).toUpper()));
            addresses << int(address);
        }
    }
    return addresses;
}

} // namespace console
