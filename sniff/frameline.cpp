#include "sniff/frameline.h"

#include "frame/hextext.h"
#include "frame/rtuframe.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>

namespace sniff
{

namespace
{

using frame::Direction;

constexpr quint8 kExceptionBit = 0x80;
// Register values shown in a summary before "..." stands for the rest.
constexpr std::size_t kShownValues = 8;

QString word(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

// A CRC as it goes on the wire: low byte first.
QString crcBytes(quint16 crc)
{
    return frame::byteText(quint8(crc & 0xFF)) + QLatin1Char(' ') +
           frame::byteText(quint8(crc >> 8));
}

QString count(qsizetype n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString exceptionName(quint8 code)
{
    switch (code) {
    case 0x01:
        return QStringLiteral("illegal function");
    case 0x02:
        return QStringLiteral("illegal data address");
    case 0x03:
        return QStringLiteral("illegal data value");
    case 0x04:
        return QStringLiteral("slave device failure");
    case 0x05:
        return QStringLiteral("acknowledge");
    case 0x06:
        return QStringLiteral("slave device busy");
    case 0x08:
        return QStringLiteral("memory parity error");
    case 0x0A:
        return QStringLiteral("gateway path unavailable");
    case 0x0B:
        return QStringLiteral("gateway target failed to respond");
    default:
        return QStringLiteral("unknown exception");
    }
}

QString valuesText(const std::vector<quint16> &values)
{
    QStringList shown;
    for (std::size_t i = 0; i < values.size() && i < kShownValues; ++i)
        shown << QString::number(values[i]);
    if (values.size() > kShownValues)
        shown << QStringLiteral("...");
    return shown.join(QLatin1Char(' '));
}

// What the frame's fields say, without pairing or CRC.
QString fieldsText(const frame::RtuFrame &f, Direction direction)
{
    if (f.exception)
        return QStringLiteral("exception %1 %2")
            .arg(frame::byteText(f.exceptionCode), exceptionName(f.exceptionCode));
    const QString name = frame::functionName(f.function);
    const bool request = direction == Direction::Request;
    switch (f.function) {
    case 0x01:
    case 0x02:
        if (request && f.start && f.quantity)
            return QStringLiteral("%1 %2, %3")
                .arg(name, word(*f.start), count(*f.quantity, "bit", "bits"));
        return QStringLiteral("%1: %2 of bits").arg(name, count(f.data.size(), "byte", "bytes"));
    case 0x03:
    case 0x04:
        if (request && f.start && f.quantity)
            return QStringLiteral("%1 %2, %3")
                .arg(name, word(*f.start), count(*f.quantity, "register", "registers"));
        return QStringLiteral("%1: %2 %3")
            .arg(name, count(qsizetype(f.values.size()), "register", "registers"),
                 valuesText(f.values));
    case 0x05:
    case 0x06:
        if (f.start && !f.values.empty())
            return QStringLiteral("%1 %2 = %3")
                .arg(name, word(*f.start))
                .arg(f.function == 0x05 ? (f.values.front() == 0xFF00 ? QStringLiteral("on")
                                                                      : QStringLiteral("off"))
                                        : QString::number(f.values.front()));
        break;
    case 0x0F:
    case 0x10:
        if (f.start && f.quantity)
            return QStringLiteral("%1 %2, %3%4")
                .arg(name, word(*f.start))
                .arg(*f.quantity)
                .arg(request && f.function == 0x10 ? QStringLiteral(": ") + valuesText(f.values)
                                                   : QString());
        break;
    case 0x17:
        if (request && f.start && f.quantity && f.writeStart && f.writeQuantity)
            return QStringLiteral("%1 read %2, %3, write %4, %5")
                .arg(name, word(*f.start))
                .arg(*f.quantity)
                .arg(word(*f.writeStart))
                .arg(*f.writeQuantity);
        return QStringLiteral("%1: %2 %3")
            .arg(name, count(qsizetype(f.values.size()), "register", "registers"),
                 valuesText(f.values));
    default:
        return QStringLiteral("%1, %2").arg(name, count(f.data.size(), "data byte", "data bytes"));
    }
    return name;
}

QString milliseconds(std::chrono::nanoseconds time)
{
    return QString::number(double(time.count()) / 1e6, 'f', 1);
}

QString directionWord(const SplitItem &item)
{
    switch (item.kind) {
    case SplitItem::Kind::Request:
        return QStringLiteral("request");
    case SplitItem::Kind::Response:
        return QStringLiteral("response");
    case SplitItem::Kind::Noise:
        break;
    }
    return QStringLiteral("noise");
}

qint64 microsecondsOf(std::chrono::system_clock::time_point when)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
}

// The microseconds of a second, six digits.
QString microText(qint64 micros)
{
    return QStringLiteral("%1").arg(((micros % 1000000) + 1000000) % 1000000, 6, 10,
                                    QLatin1Char('0'));
}

QDateTime dateTimeOf(qint64 micros)
{
    return QDateTime::fromMSecsSinceEpoch(micros / 1000 - (micros % 1000 < 0 ? 1 : 0));
}

} // namespace

QString hexText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += frame::byteText(quint8(bytes[i]));
    }
    return text;
}

QString frameSummary(const SplitItem &item)
{
    if (!item.isFrame())
        return QStringLiteral("noise, ") + count(item.bytes.size(), "byte", "bytes");
    const frame::RtuFrame f = frame::decodeRtuFrame(item.bytes, item.direction());
    QStringList parts{fieldsText(f, item.direction())};
    if (item.kind == SplitItem::Kind::Response) {
        if (!item.request)
            parts << QStringLiteral("no request waiting");
        else if (item.responseTime)
            parts << QStringLiteral("answers #%1 after %2 ms")
                         .arg(*item.request + 1)
                         .arg(milliseconds(*item.responseTime));
        else
            parts << QStringLiteral("answers #%1").arg(*item.request + 1);
    }
    if (item.unanswered)
        parts << QStringLiteral("#%1 got no response").arg(*item.unanswered + 1);
    if (!item.crcGood && f.complete)
        parts << QStringLiteral("bad CRC %1, expected %2")
                     .arg(crcBytes(f.crcReceived), crcBytes(f.crcExpected));
    else if (!item.crcGood)
        parts << QStringLiteral("bad CRC");
    return parts.join(QStringLiteral("; "));
}

QByteArray textLine(const SplitItem &item, std::chrono::system_clock::time_point when)
{
    const qint64 micros = microsecondsOf(when);
    const QString time =
        dateTimeOf(micros).toString(QStringLiteral("HH:mm:ss.")) + microText(micros);
    const bool isFrame = item.isFrame();
    const QString address = isFrame ? frame::byteText(quint8(item.bytes[0])) : QStringLiteral("--");
    const QString function = isFrame && item.bytes.size() > 1
                                 ? frame::byteText(quint8(item.bytes[1]))
                                 : QStringLiteral("--");
    return QStringLiteral("#%1 %2 %3 %4 %5 %6 | %7\n")
        .arg(item.index + 1)
        .arg(time, directionWord(item).leftJustified(8), address, function, frameSummary(item),
             hexText(item.bytes))
        .toUtf8();
}

QByteArray jsonLine(const SplitItem &item, std::chrono::system_clock::time_point when)
{
    const qint64 micros = microsecondsOf(when);
    QJsonObject object;
    object[QStringLiteral("line")] = item.index + 1;
    object[QStringLiteral("time")] =
        dateTimeOf(micros).toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.")) +
        microText(micros) + QLatin1Char('Z');
    object[QStringLiteral("direction")] = directionWord(item);
    if (item.isFrame()) {
        const quint8 function = quint8(item.bytes[1]);
        object[QStringLiteral("address")] = quint8(item.bytes[0]);
        object[QStringLiteral("function")] = function;
        object[QStringLiteral("crc")] =
            item.crcGood ? QStringLiteral("good") : QStringLiteral("bad");
        if (item.kind == SplitItem::Kind::Response) {
            object[QStringLiteral("request")] =
                item.request ? QJsonValue(*item.request + 1) : QJsonValue(QJsonValue::Null);
            if (item.responseTime)
                object[QStringLiteral("response_ms")] =
                    std::round(double(item.responseTime->count()) / 1e3) / 1e3;
            if ((function & kExceptionBit) && item.bytes.size() > 2)
                object[QStringLiteral("exception")] = quint8(item.bytes[2]);
        }
        if (item.unanswered)
            object[QStringLiteral("unanswered")] = *item.unanswered + 1;
    }
    object[QStringLiteral("hex")] = hexText(item.bytes);
    object[QStringLiteral("summary")] = frameSummary(item);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace sniff
