#pragma once

#include "polloptions.h"

#include "transaction/exchangeoutcome.h"

#include <QByteArray>
#include <chrono>
#include <map>

namespace poll
{

// One completed exchange as wirelark-poll reports it; it counts as valid when it passed.
struct ExchangeRecord {
    qint64 sequence = 0;                           // 1 for the first exchange
    std::chrono::system_clock::time_point written; // when the request's write returned
    transaction::ExchangeOutcome outcome;
    int address = 0; // the request's slave address
    // A write: the values written as given; a broadcast is not answered and is reported so.
    QStringList writtenValues;
    bool broadcast = false;
};

// The first line of the csv output.
QByteArray csvHeader();

// The output of one exchange in a format, UTF-8, line end included. Text: the window's log line
// (CR LF) and "registers A B C\n" ("-" for an empty read-out). Csv: one line. Json: one object
// on one line; both give the verdict as a word or two ("bad CRC"), its headline as the detail,
// and the times to the first and the last reply byte in milliseconds to the microsecond.
// With a layout, for FC 03/04: text gives "values V1 V2 ..." in place of the read-outs, and json
// "registers" every 16-bit word of the reply beside "values" (numbers, "nan", "inf", "-inf" as
// strings), both empty arrays for a reply that is not valid.
// For a read of FC 01 or 02 (a request of 1 to 2000 bits): text gives "bits B1 B2 ..." in place
// of the read-outs and json "bits", 0 or 1 each, the first coil or input first; none for a reply
// that is not valid.
QByteArray formatRecord(OutputFormat format, const ExchangeRecord &record,
                        const std::optional<frame::ValueLayout> &layout = std::nullopt);

// What a request reads or writes, numbered from base, for the line at the start: "holding
// registers 0010-0011 hex, from 0", "coil 0001 hex, from 1"; empty for a function that names no
// registers or coils.
QString requestedNumbers(const QByteArray &request, int base);

// Counts of a run and its times to the last byte, for the summary.
class PollStats
{
public:
    void add(const ExchangeRecord &record);
    // An exchange that could not run to its end: the connection to a TCP far end failed.
    void addFailed() { ++m_failed; }

    qint64 sent() const { return m_sent; }
    qint64 valid() const { return m_valid; }
    qint64 invalid() const { return m_sent - m_valid - m_silent; }
    qint64 silent() const { return m_silent; }
    qint64 failed() const { return m_failed; }

    // 0 when at least one exchange ran, none failed and every reply was valid, 1 otherwise.
    int exitStatus() const { return m_sent > 0 && m_valid == m_sent && m_failed == 0 ? 0 : 1; }

    // Four lines in the manner of ping: a heading naming port, the counts, the times, and the
    // valid replies per second over span (from the first write to the end of the last exchange;
    // left out for a span under a millisecond).
    QString summary(const QString &port, std::chrono::microseconds span) const;

private:
    qint64 m_sent = 0;
    qint64 m_valid = 0;
    qint64 m_silent = 0;
    qint64 m_failed = 0;
    // Times to the last byte in whole microseconds, with how often each came: the median stays
    // exact while memory grows with the spread of the times, not with the length of the run.
    std::map<qint64, qint64> m_lastByteMicroseconds;
};

} // namespace poll
