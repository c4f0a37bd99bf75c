#include "capture/capturewriter.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <pcap/pcap.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

namespace capture
{

namespace
{

// Exported-PDU tags, each type and length big-endian with the value padded to 4 bytes:
// tag 12 (dissector name) "mbrtu", then tag 0 (end of tags).
constexpr std::array<char, 16> kRecordTags = {0x00, 0x0C, 0x00, 0x08, 'm',  'b',  'r',  't',
                                              'u',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// Tag 12 "data", then tag 0.
constexpr std::array<char, 16> kNoiseTags = {0x00, 0x0C, 0x00, 0x08, 'd',  'a',  't',  'a',
                                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr int kPortTypeTcp = 2;

void appendTag(QByteArray &record, int tag, quint32 value)
{
    const char bytes[] = {char(tag >> 8),    char(tag),        0x00,       0x04, char(value >> 24),
                          char(value >> 16), char(value >> 8), char(value)};
    record.append(bytes, sizeof bytes);
}

// The tags of a record: the dissector name, for a frame with a direction the ports, the end.
void appendTags(QByteArray &record, CaptureWriter::Record kind)
{
    using Record = CaptureWriter::Record;
    const std::array<char, 16> &tags = kind == Record::Noise ? kNoiseTags : kRecordTags;
    if (kind != Record::Request && kind != Record::Response) {
        record.append(tags.data(), qsizetype(tags.size()));
        return;
    }
    record.append(tags.data(), 12); // the name tag alone
    const bool request = kind == Record::Request;
    appendTag(record, 24, kPortTypeTcp);
    appendTag(record, 25, request ? CaptureWriter::kMasterPort : CaptureWriter::kSlavePort);
    appendTag(record, 26, request ? CaptureWriter::kSlavePort : CaptureWriter::kMasterPort);
    record.append(tags.data() + 12, 4); // the end of tags
}

QString tr(const char *text)
{
    return QCoreApplication::translate("CaptureWriter", text);
}

QString reasonOf(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString remedyForWrite(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
        return tr("Free some space or capture to another disk.");
    case EPIPE:
        return tr("The program that read the capture has ended.");
    case EFBIG:
        return tr("The file has reached the largest size allowed; start a new capture file.");
    default:
        return tr("Choose another path.");
    }
}

QString remedyForOpen(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
        return tr("Create the folder first or choose another path.");
    case EACCES:
    case EPERM:
    case EROFS:
        return tr("Choose a folder you may write to.");
    case EISDIR:
        return tr("The path names a folder: add a file name.");
    default:
        return remedyForWrite(errorNumber);
    }
}

// A reader that goes away must show as EPIPE, not end the process with SIGPIPE.
void ignoreSigpipeFor(int fd)
{
    struct stat status = {};
    if (fstat(fd, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)))
        return;
    struct sigaction current = {};
    if (sigaction(SIGPIPE, nullptr, &current) != 0)
        return;
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, nullptr);
    }
}

} // namespace

std::unique_ptr<CaptureWriter> CaptureWriter::open(const QString &path, QString *error)
{
    if (path.isEmpty())
        return failed(error, tr("No capture file given: name a file, or - for standard output."));
    if (path == QLatin1String("-")) {
        if (isatty(STDOUT_FILENO))
            return failed(error, tr("Standard output is a terminal, which cannot show a capture: "
                                    "redirect it to a file or a pipe (for example | tshark -r "
                                    "-), or name a file."));
        // A duplicate, so that closing the capture leaves standard output open.
        return adopt(dup(STDOUT_FILENO), tr("standard output"), error);
    }
    pcap_t *handle = pcap_open_dead(DLT_WIRESHARK_UPPER_PDU, int(kSnapLength));
    if (!handle)
        return failed(error,
                      tr("Cannot start the capture to %1: libpcap has no memory.").arg(path));
    errno = 0;
    pcap_dumper_t *dumper = pcap_dump_open(handle, QFile::encodeName(path).constData());
    const int openError = errno;
    if (!dumper) {
        const QString reason =
            openError != 0 ? reasonOf(openError) : QString::fromLocal8Bit(pcap_geterr(handle));
        pcap_close(handle);
        return failed(error, tr("Cannot create the capture file %1: %2. %3")
                                 .arg(path, reason, remedyForOpen(openError)));
    }
    ignoreSigpipeFor(fileno(pcap_dump_file(dumper)));
    return begin(handle, dumper, path, error);
}

std::unique_ptr<CaptureWriter> CaptureWriter::adopt(int fd, const QString &name, QString *error)
{
    const int openError = errno;
    pcap_t *handle = fd >= 0 ? pcap_open_dead(DLT_WIRESHARK_UPPER_PDU, int(kSnapLength)) : nullptr;
    FILE *file = handle ? fdopen(fd, "wb") : nullptr;
    pcap_dumper_t *dumper = file ? pcap_dump_fopen(handle, file) : nullptr;
    if (!dumper) {
        const int reason = fd < 0 ? openError : errno != 0 ? errno : ENOMEM;
        if (file)
            std::fclose(file);
        else if (fd >= 0)
            ::close(fd);
        if (handle)
            pcap_close(handle);
        return failed(error, tr("Cannot create the capture file %1: %2. %3")
                                 .arg(name, reasonOf(reason), remedyForOpen(reason)));
    }
    ignoreSigpipeFor(fd);
    return begin(handle, dumper, name, error);
}

std::unique_ptr<CaptureWriter> CaptureWriter::begin(pcap *handle, pcap_dumper *dumper,
                                                    const QString &name, QString *error)
{
    std::unique_ptr<CaptureWriter> writer(new CaptureWriter(handle, dumper, name));
    // The header at once: even a capture that ends before its first exchange is a valid file.
    errno = 0;
    if (pcap_dump_flush(dumper) != 0) {
        const int writeError = errno != 0 ? errno : EIO;
        writer->fail(writeError);
        return failed(error, tr("Cannot write the capture file %1: %2. %3")
                                 .arg(name, reasonOf(writeError), remedyForWrite(writeError)));
    }
    writer->m_savedBytes = lseek(fileno(pcap_dump_file(dumper)), 0, SEEK_CUR);
    return writer;
}

std::unique_ptr<CaptureWriter> CaptureWriter::failed(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return nullptr;
}

CaptureWriter::CaptureWriter(pcap *handle, pcap_dumper *dumper, QString name)
    : m_handle(handle), m_dumper(dumper), m_name(std::move(name))
{
}

CaptureWriter::~CaptureWriter()
{
    pcap_dump_close(m_dumper);
    pcap_close(m_handle);
}

bool CaptureWriter::write(const QByteArray &frame, std::chrono::system_clock::time_point when,
                          Record record)
{
    using namespace std::chrono;
    if (m_failed)
        return false;

    m_record.resize(0);
    appendTags(m_record, record);
    const qsizetype length = m_record.size() + frame.size();
    const qsizetype kept = std::min(length, kSnapLength);
    m_record.append(frame.constData(), kept - m_record.size());

    const auto since = duration_cast<microseconds>(when.time_since_epoch()).count();
    const auto seconds = since / 1000000 - (since % 1000000 < 0 ? 1 : 0);
    pcap_pkthdr header{};
    header.ts.tv_sec = time_t(seconds);
    header.ts.tv_usec = suseconds_t(since - seconds * 1000000);
    header.caplen = bpf_u_int32(kept);
    header.len = bpf_u_int32(std::min<qsizetype>(length, UINT32_MAX));

    errno = 0;
    pcap_dump(reinterpret_cast<u_char *>(m_dumper), &header,
              reinterpret_cast<const u_char *>(m_record.constData()));
    if (std::ferror(pcap_dump_file(m_dumper)))
        return fail(errno != 0 ? errno : EIO);
    ++m_writtenRecords;
    return true;
}

bool CaptureWriter::flush()
{
    if (m_failed)
        return false;
    errno = 0;
    if (pcap_dump_flush(m_dumper) != 0)
        return fail(errno != 0 ? errno : EIO);
    m_savedRecords = m_writtenRecords;
    m_savedBytes = lseek(fileno(pcap_dump_file(m_dumper)), 0, SEEK_CUR);
    return true;
}

int CaptureWriter::fileDescriptor() const
{
    return fileno(pcap_dump_file(m_dumper));
}

bool CaptureWriter::fail(int errorNumber)
{
    m_failed = true;
    m_readerGone = errorNumber == EPIPE;
    FILE *file = pcap_dump_file(m_dumper);
    // Nothing more reaches the output, not even what the buffer holds at close.
    __fpurge(file);
    struct stat status = {};
    // A regular file loses the part of a record that went out before the failure; should that
    // fail too, a reader reports the last record as cut short and shows the others.
    if (m_savedBytes > 0 && fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
        ftruncate(fileno(file), m_savedBytes) != 0)
        m_savedBytes = -1;

    QString kept;
    if (m_savedRecords == 0)
        kept = tr("No record was saved");
    else if (m_savedRecords == 1)
        kept = tr("The first record is kept");
    else
        kept = tr("The first %1 records are kept").arg(m_savedRecords);
    m_errorText = tr("Writing the capture to %1 failed: %2. %3; nothing more is written. %4")
                      .arg(m_name, reasonOf(errorNumber), kept, remedyForWrite(errorNumber));
    return false;
}

std::chrono::system_clock::time_point systemTimeOf(std::chrono::steady_clock::time_point monotonic)
{
    const auto steadyNow = std::chrono::steady_clock::now();
    const auto systemNow = std::chrono::system_clock::now();
    return systemNow -
           std::chrono::duration_cast<std::chrono::system_clock::duration>(steadyNow - monotonic);
}

} // namespace capture
