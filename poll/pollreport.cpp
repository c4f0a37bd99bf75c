#include "pollreport.h"

#include "frame/rtuframe.h"
#include "transaction/logline.h"
#include "transaction/verdict.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <limits>

namespace poll
{

namespace
{

// Bytes as hex pairs separated by spaces, as in the log line but without its line end.
QString hexText(const QByteArray &bytes)
{
    return transaction::logLine(bytes).chopped(2);
}

// ISO 8601 in UTC with milliseconds: 2026-12-07T14:03:07.512Z.
QString timeText(std::chrono::system_clock::time_point when)
{
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs);
}

QString millisecondsText(const std::optional<std::chrono::microseconds> &after)
{
    return after ? QString::number(double(after->count()) / 1000.0, 'f', 3) : QString();
}

// A csv field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QJsonValue jsonMilliseconds(const std::optional<std::chrono::microseconds> &after)
{
    // Whole microseconds: three decimals at most, as in the csv.
    return after ? QJsonValue(double(after->count()) / 1000.0) : QJsonValue(QJsonValue::Null);
}

QString millisecondsOf(qint64 microseconds)
{
    return QString::number(double(microseconds) / 1000.0, 'f', 3);
}

// The registers of a valid FC 03/04 reply: address, function, byte count, the words high byte
// first, CRC.
QList<quint16> replyRegisters(const transaction::ExchangeOutcome &outcome)
{
    const QByteArray &reply = outcome.reply;
    if (!outcome.passed || reply.size() < 5)
        return {};
    QList<quint16> registers;
    for (qsizetype at = 3; at + 1 < reply.size() - 2; at += 2)
        registers << static_cast<quint16>((quint8(reply[at]) << 8) | quint8(reply[at + 1]));
    return registers;
}

// The bits a read of FC 01 or 02 asked for, from its valid reply, whose data bytes hold them bit 0
// of the first byte first; empty for a reply that is not valid, and nothing for another request.
std::optional<QList<int>> replyBits(const transaction::ExchangeOutcome &outcome)
{
    const frame::RtuFrame request =
        frame::decodeRtuFrame(outcome.request, frame::Direction::Request);
    if ((request.function != 0x01 && request.function != 0x02) || !request.quantity)
        return std::nullopt;
    QList<int> bits;
    if (!outcome.passed)
        return bits;
    const QByteArray data = frame::decodeRtuFrame(outcome.reply, frame::Direction::Response).data;
    const int count = std::min<int>(*request.quantity, int(data.size()) * 8);
    for (int k = 0; k < count; ++k)
        bits << ((quint8(data[k / 8]) >> (k % 8)) & 1);
    return bits;
}

QJsonValue jsonValue(const QString &text, frame::ValueType type)
{
    switch (type) {
    case frame::ValueType::F32:
    case frame::ValueType::F64:
        if (text == QLatin1String("nan") || text.endsWith(QLatin1String("inf")))
            return text;
        return text.toDouble();
    case frame::ValueType::Hex:
        return text.toInt(nullptr, 16);
    case frame::ValueType::U64:
        // Above the largest signed 64-bit number a JSON reader takes it as a double anyway.
        if (text.size() >= 19 && text.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            return text.toDouble();
        return text.toLongLong();
    default:
        return text.toLongLong();
    }
}

} // namespace

QByteArray csvHeader()
{
    return QByteArrayLiteral("time,seq,request,reply,reg1,reg2,reg3,verdict,valid,first_byte_ms,"
                             "last_byte_ms,detail\n");
}

QByteArray formatRecord(OutputFormat format, const ExchangeRecord &record,
                        const std::optional<frame::ValueLayout> &layout)
{
    const QList<quint16> words = layout ? replyRegisters(record.outcome) : QList<quint16>();
    const QStringList values = layout ? frame::valueTexts(words, *layout) : QStringList();
    const transaction::ExchangeOutcome &outcome = record.outcome;
    const transaction::Verdict &verdict = outcome.verdict;
    const QString word = transaction::summaryWord(verdict.summary);
    const QString detail = outcome.verdictText.section(QLatin1Char('\n'), 0, 0);
    const std::optional<QList<int>> bits = replyBits(outcome);
    switch (format) {
    case OutputFormat::Text: {
        if (!record.writtenValues.isEmpty()) {
            const QString what = record.broadcast ? QStringLiteral("broadcast, no reply awaited:")
                                 : outcome.passed ? QStringLiteral("written")
                                                  : QStringLiteral("not written");
            return (outcome.logLine +
                    (QStringList{what} + record.writtenValues).join(QLatin1Char(' ')) +
                    QLatin1Char('\n'))
                .toUtf8();
        }
        if (layout)
            return (outcome.logLine +
                    (QStringList{QStringLiteral("values")} + values).join(QLatin1Char(' ')) +
                    QLatin1Char('\n'))
                .toUtf8();
        if (bits) {
            QString text = outcome.logLine + QStringLiteral("bits");
            for (const int bit : *bits)
                text += bit != 0 ? QStringLiteral(" 1") : QStringLiteral(" 0");
            return (text + QLatin1Char('\n')).toUtf8();
        }
        QString text = outcome.logLine + QStringLiteral("registers");
        for (const QString &readout : outcome.readouts)
            text += QLatin1Char(' ') + (readout.isEmpty() ? QStringLiteral("-") : readout);
        return (text + QLatin1Char('\n')).toUtf8();
    }
    case OutputFormat::Csv: {
        const QStringList fields{timeText(record.written),
                                 QString::number(record.sequence),
                                 hexText(outcome.request),
                                 hexText(outcome.reply),
                                 outcome.readouts[0],
                                 outcome.readouts[1],
                                 outcome.readouts[2],
                                 csvField(word),
                                 outcome.passed ? QStringLiteral("1") : QStringLiteral("0"),
                                 millisecondsText(verdict.firstByteAfter),
                                 millisecondsText(verdict.lastByteAfter),
                                 csvField(detail)};
        return (fields.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8();
    }
    case OutputFormat::Json: {
        QJsonArray registers;
        for (const QString &readout : outcome.readouts)
            registers.append(readout.isEmpty() ? QJsonValue(QJsonValue::Null)
                                               : QJsonValue(readout.toInt()));
        if (layout) {
            registers = {};
            for (const quint16 registerValue : words)
                registers.append(int(registerValue));
        }
        QJsonObject object{
            {QStringLiteral("address"), record.address},
            {QStringLiteral("time"), timeText(record.written)},
            {QStringLiteral("seq"), record.sequence},
            {QStringLiteral("request"), hexText(outcome.request)},
            {QStringLiteral("reply"), hexText(outcome.reply)},
            {QStringLiteral("registers"), registers},
            {QStringLiteral("verdict"), word},
            {QStringLiteral("valid"), outcome.passed},
            {QStringLiteral("first_byte_ms"), jsonMilliseconds(verdict.firstByteAfter)},
            {QStringLiteral("last_byte_ms"), jsonMilliseconds(verdict.lastByteAfter)},
            {QStringLiteral("detail"), detail},
        };
        if (layout) {
            QJsonArray jsonValues;
            for (const QString &text : values)
                jsonValues.append(jsonValue(text, layout->type));
            object.insert(QStringLiteral("values"), jsonValues);
        }
        if (bits) {
            QJsonArray jsonBits;
            for (const int bit : *bits)
                jsonBits.append(bit);
            object.insert(QStringLiteral("bits"), jsonBits);
        }
        if (!record.writtenValues.isEmpty()) {
            object.insert(QStringLiteral("written"),
                          QJsonArray::fromStringList(record.writtenValues));
            object.insert(QStringLiteral("broadcast"), record.broadcast);
        }
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    }
    }
    return {};
}

QString requestedNumbers(const QByteArray &request, int base)
{
    const frame::RtuFrame frame = frame::decodeRtuFrame(request, frame::Direction::Request);
    QString kind;
    switch (frame.function) {
    case 0x01:
    case 0x05:
    case 0x0F:
        kind = QStringLiteral("coil");
        break;
    case 0x02:
        kind = QStringLiteral("discrete input");
        break;
    case 0x03:
    case 0x06:
    case 0x10:
        kind = QStringLiteral("holding register");
        break;
    case 0x04:
        kind = QStringLiteral("input register");
        break;
    default:
        return {};
    }
    if (!frame.start)
        return {};
    const auto number = [base](qint64 protocolNumber) {
        return QStringLiteral("%1").arg(protocolNumber + base, 4, 16, QLatin1Char('0')).toUpper();
    };
    const qint64 quantity = frame.quantity.value_or(1);
    const QString numbers = quantity == 1
                                ? kind + QLatin1Char(' ') + number(*frame.start)
                                : kind + QStringLiteral("s ") + number(*frame.start) +
                                      QLatin1Char('-') + number(*frame.start + quantity - 1);
    return numbers + QStringLiteral(" hex, from %1").arg(base);
}

void PollStats::add(const ExchangeRecord &record)
{
    ++m_sent;
    if (record.outcome.passed)
        ++m_valid;
    else if (record.outcome.reply.isEmpty())
        ++m_silent;
    if (const auto &last = record.outcome.verdict.lastByteAfter)
        ++m_lastByteMicroseconds[last->count()];
}

QString PollStats::summary(const QString &port, std::chrono::microseconds span) const
{
    const QString rate =
        span >= std::chrono::milliseconds(1)
            ? QStringLiteral("%1 valid replies per second\n")
                  .arg(QString::number(double(m_valid) * 1e6 / double(span.count()), 'f', 1))
            : QString();
    QString text = QStringLiteral("--- %1 poll statistics ---\n%2 sent, %3 valid, %4 invalid, %5 "
                                  "silent%6\n")
                       .arg(port)
                       .arg(m_sent)
                       .arg(m_valid)
                       .arg(invalid())
                       .arg(m_silent)
                       .arg(m_failed > 0 ? QStringLiteral(", %1 failed").arg(m_failed) : QString());
    qint64 timed = 0;
    for (const auto &[microseconds, count] : m_lastByteMicroseconds)
        timed += count;
    if (timed == 0)
        return text + QStringLiteral("time to last byte: no reply\n") + rate;

    // The middle value, or the mean of the two middle values for an even count.
    const qint64 lowIndex = (timed - 1) / 2;
    const qint64 highIndex = timed / 2;
    qint64 low = 0;
    qint64 high = 0;
    qint64 seen = 0;
    for (const auto &[microseconds, count] : m_lastByteMicroseconds) {
        if (seen <= lowIndex && lowIndex < seen + count)
            low = microseconds;
        if (seen <= highIndex && highIndex < seen + count) {
            high = microseconds;
            break;
        }
        seen += count;
    }
    return text +
           QStringLiteral("time to last byte min/median/max = %1/%2/%3 ms\n")
               .arg(millisecondsOf(m_lastByteMicroseconds.begin()->first),
                    QString::number(double(low + high) / 2000.0, 'f', 3),
                    millisecondsOf(m_lastByteMicroseconds.rbegin()->first)) +
           rate;
}

} // namespace poll
