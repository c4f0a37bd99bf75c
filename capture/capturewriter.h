#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>

struct pcap;
struct pcap_dumper;

namespace capture
{

// Writes Modbus RTU frames, one record each, into a classic pcap file (microsecond time stamps,
// the host's byte order) of link type 252, DLT_WIRESHARK_UPPER_PDU. Each record holds the
// exported-PDU tags 00 0C 00 08 "mbrtu" 00 00 00 (dissector name, padded to 4 bytes, the length
// counting the padding) and 00 00 00 00 (end of tags), then the frame bytes as on the wire, so
// that Wireshark and tshark decode every record as Modbus RTU without any set-up.
//
// A record may say which way its frame went, as exported-PDU port tags 00 18 00 04 00 00 00 02
// (port type TCP), 00 19 00 04 and 00 1A 00 04 (source and destination port, big-endian) before
// the end of tags: a request goes from kMasterPort to kSlavePort, a response back. The Modbus
// RTU dissector tells a request from a response by its TCP port preference: with
// mbrtu.tcp.port set to kSlavePort it needs no guess (05 and 06 echo their request, which it
// cannot classify otherwise). Noise bytes go out with the dissector name "data".
//
// Call flush() after each exchange: a crash then loses at most the exchange in flight. The first
// write or flush that fails makes the writer fail for good: that call and every later one return
// false and write nothing, and errorText() tells what happened and how many records were kept.
// A regular file is cut back to the records of the last good flush.
class CaptureWriter
{
public:
    // The longest record: frames longer than this minus the tag bytes (16, or 40 with ports) are
    // cut, their record keeping their full length. Wireshark refuses a whole file that has a longer
    // record.
    static constexpr qsizetype kSnapLength = 262144;
    // The ports of a record that tells its direction.
    static constexpr quint16 kMasterPort = 65501;
    static constexpr quint16 kSlavePort = 65502;

    // What a record holds.
    enum class Record {
        Frame,    // a Modbus RTU frame, no direction
        Request,  // a Modbus RTU frame from master to slave
        Response, // a Modbus RTU frame from slave to master
        Noise,    // bytes that are no frame
    };

    // Creates (or empties) the file at path and writes its header, or on "-" writes to standard
    // output, which must not be a terminal; a file named "-" is "./-". A FIFO makes this wait
    // for a reader. When the output is a pipe, a FIFO or a socket, this ignores SIGPIPE for the
    // whole process unless the program already handles it, so that a reader that goes away
    // shows as a failed write instead of ending the process. On failure returns null and sets
    // *error (when error is not null) to a message that names the path, the reason and a remedy.
    static std::unique_ptr<CaptureWriter> open(const QString &path, QString *error);
    // As open(), on a descriptor already open for writing, which the writer owns from here on
    // (closed also on failure; -1 fails with errno's reason); name is the path for messages.
    static std::unique_ptr<CaptureWriter> adopt(int fd, const QString &name, QString *error);

    ~CaptureWriter();
    CaptureWriter(const CaptureWriter &) = delete;
    CaptureWriter &operator=(const CaptureWriter &) = delete;

    // Adds one record with the time stamp when (microseconds of the system clock). The record
    // may stay in a buffer until flush().
    bool write(const QByteArray &frame, std::chrono::system_clock::time_point when,
               Record record = Record::Frame);
    // Hands every record written so far to the operating system.
    bool flush();

    bool failed() const { return m_failed; }
    // Empty until a write or flush fails.
    QString errorText() const { return m_errorText; }
    // Records written and flushed.
    qint64 savedRecords() const { return m_savedRecords; }
    // True once a write or flush failed because the pipe's or FIFO's reader had gone.
    bool readerGone() const { return m_readerGone; }
    // The descriptor written to: a pipe or FIFO reports POLLERR on it once its reader is gone.
    int fileDescriptor() const;

private:
    CaptureWriter(pcap *handle, pcap_dumper *dumper, QString name);
    // Writes the file header; the writer, or null with *error set.
    static std::unique_ptr<CaptureWriter> begin(pcap *handle, pcap_dumper *dumper,
                                                const QString &name, QString *error);
    static std::unique_ptr<CaptureWriter> failed(QString *error, const QString &text);
    bool fail(int errorNumber);

    pcap *m_handle = nullptr;
    pcap_dumper *m_dumper = nullptr;
    QString m_name; // the path, or "standard output"
    QByteArray m_record;
    qint64 m_writtenRecords = 0;
    qint64 m_savedRecords = 0;
    qint64 m_savedBytes = 0; // file header and the saved records
    bool m_failed = false;
    bool m_readerGone = false;
    QString m_errorText;
};

// The system-clock time of a monotonic time point, as of now: for time stamps of events
// measured on the monotonic clock.
std::chrono::system_clock::time_point systemTimeOf(std::chrono::steady_clock::time_point monotonic);

} // namespace capture
