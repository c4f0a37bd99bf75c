#include "sniff/sniffrunner.h"

#include "sniff/extcap.h"
#include "sniff/frameline.h"

#include "serial/latencytimer.h"
#include "serial/linetiming.h"
#include "serial/portopening.h"
#include "serial/systemports.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sniff
{

namespace
{

// When the driver says nothing of its latency, assume a USB adapter's default timer.
constexpr std::chrono::milliseconds kUnknownLatency{16};
// The monitor's own delay in taking bytes, on top of the adapter's.
constexpr std::chrono::milliseconds kReadSlack{4};
constexpr qsizetype kReadSize = 65536;
// How often a capture FIFO without a reader is tried again.
constexpr std::chrono::milliseconds kReaderPoll{50};

Time now()
{
    return std::chrono::steady_clock::now().time_since_epoch();
}

capture::CaptureWriter::Record recordOf(const SplitItem &item)
{
    using Record = capture::CaptureWriter::Record;
    switch (item.kind) {
    case SplitItem::Kind::Request:
        return Record::Request;
    case SplitItem::Kind::Response:
        return Record::Response;
    case SplitItem::Kind::Noise:
        break;
    }
    return Record::Noise;
}

} // namespace

SniffRunner::SniffRunner(const SniffOptions &options, console::StopSignals &stop)
    : m_options(options), m_stop(stop),
      m_wallClockAtZero(capture::systemTimeOf(std::chrono::steady_clock::time_point{}))
{
}

void SniffRunner::printError(const QString &message) const
{
    std::fprintf(stderr, "wirelark-sniff: %s\n", qUtf8Printable(message));
}

bool SniffRunner::openPort(const QString &devicePath)
{
    QString error;
    m_port = ReadOnlyPort::open(devicePath, m_options.line, &error);
    if (!m_port) {
        printError(error);
        return false;
    }
    SplitTiming timing;
    timing.known = true;
    timing.character = serial::charactersTime(m_options.line, 1);
    timing.frameGap = serial::frameGap(m_options.line);
    const std::optional<serial::LatencyTimer> latency = serial::readLatencyTimer(devicePath);
    timing.latency =
        (latency ? std::chrono::milliseconds(latency->milliseconds) : kUnknownLatency) + kReadSlack;
    m_splitter.emplace(timing);
    m_sourceFd = m_port->fd();
    if (m_options.mode == Mode::Monitor) {
        using Result = serial::LowLatency::Result;
        std::fprintf(stderr, "Listening on %s at %s,%s, read only; low latency %s\n",
                     qUtf8Printable(devicePath), qUtf8Printable(m_options.speedText),
                     qUtf8Printable(m_options.framingText),
                     m_port->lowLatency() == Result::Unsupported ? "not offered by the driver"
                                                                 : "on");
    }
    return true;
}

bool SniffRunner::openSource()
{
    if (!m_options.inputPath.isEmpty()) {
        m_input.reset(
            ::open(QFile::encodeName(m_options.inputPath).constData(), O_RDONLY | O_CLOEXEC));
        if (!m_input.valid()) {
            printError(QStringLiteral("Cannot read %1: %2.")
                           .arg(m_options.inputPath, QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        m_splitter.emplace(SplitTiming{});
        m_sourceFd = m_input.get();
        return true;
    }
    QString portText = m_options.portText;
    if (m_options.mode == Mode::ExtcapCapture) {
        const std::optional<int> number = portNumberOfInterface(m_options.extcapInterface);
        if (!number) {
            printError(QStringLiteral("%1 is no interface of this program; run it with "
                                      "--extcap-interfaces for the list.")
                           .arg(m_options.extcapInterface));
            return false;
        }
        portText = QStringLiteral("Com%1").arg(*number);
    }
    if (!m_options.devicePath.isEmpty())
        return openPort(m_options.devicePath);
    const std::optional<qint16> number = serial::portNumberOfText(portText);
    const std::optional<serial::MappedPort> port =
        number ? serial::resolveSystemPort(*number) : std::nullopt;
    if (!port) {
        printError(QStringLiteral("%1 maps to no serial device. Plug the adapter in, link a "
                                  "device as com<N> in %2, or give a device path.")
                       .arg(portText, serial::portDirectory()));
        return false;
    }
    return openPort(port->devicePath);
}

console::UniqueFd SniffRunner::waitForReader(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::stat(name.constData(), &status) != 0 || !S_ISFIFO(status.st_mode))
        return {};
    // A FIFO opens for writing only once it has a reader; a blocking open would not see a stop
    // signal meanwhile, so the open is tried without blocking between waits for the signal. The
    // descriptor that succeeds is the one written to: a reader whose only writer closes, even
    // for a moment, reads the end of the file and stops.
    while (true) {
        console::UniqueFd fd(::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.valid()) {
            const int flags = ::fcntl(fd.get(), F_GETFL);
            if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
                return {};
            return fd;
        }
        if (errno != ENXIO)
            return {}; // the capture's own open tells what is wrong
        pollfd stop = {m_stop.fd(), POLLIN, 0};
        if (::poll(&stop, 1, int(kReaderPoll.count())) > 0 && m_stop.take() != 0) {
            m_stoppedEarly = true;
            return {};
        }
    }
}

bool SniffRunner::openCapture(const QString &path)
{
    console::UniqueFd fifo = waitForReader(path);
    if (m_stoppedEarly)
        return false;
    QString error;
    m_capture = fifo.valid() ? capture::CaptureWriter::adopt(fifo.release(), path, &error)
                             : capture::CaptureWriter::open(path, &error);
    if (!m_capture) {
        printError(error);
        return false;
    }
    return true;
}

bool SniffRunner::writeOut(const QByteArray &bytes)
{
    if (m_output.write(bytes, [this](const QString &message) { printError(message); }))
        return true;
    m_failed = m_failed || m_output.failed();
    return false;
}

void SniffRunner::deliver(const std::vector<SplitItem> &items)
{
    if (items.empty())
        return;
    m_out.clear();
    const bool capturing = m_capture && !m_capture->failed();
    for (const SplitItem &item : items) {
        m_totals.add(item);
        const auto when =
            m_wallClockAtZero +
            std::chrono::duration_cast<std::chrono::system_clock::duration>(item.lastRead);
        if (m_printLines)
            m_out += m_options.format == OutputFormat::Json ? jsonLine(item, when)
                                                            : textLine(item, when);
        if (capturing)
            m_capture->write(item.bytes, when, recordOf(item));
    }
    if (capturing && !m_capture->flush())
        captureFailed();
    if (m_printLines && !writeOut(m_out))
        m_ended = true;
}

void SniffRunner::captureFailed()
{
    // Where the capture is the only output, its reader going away (Wireshark's capture stopped,
    // a pipe's reader ended) ends the run as the end of the input does: it is how an extcap
    // capture is told to stop. Any other failure is reported, and ends the run when nothing
    // else is left to write.
    if (m_printLines || !m_capture->readerGone()) {
        printError(m_capture->errorText());
        m_failed = true;
    }
    if (!m_printLines)
        m_ended = true;
}

bool SniffRunner::step()
{
    // Where the capture is the only output, its descriptor is watched for POLLERR alone: a pipe
    // or FIFO reports it once its reader is gone, so an idle bus does not keep the program
    // running for nobody.
    const int captureFd =
        !m_printLines && m_capture && !m_capture->failed() ? m_capture->fileDescriptor() : -1;
    pollfd fds[3] = {{m_sourceFd, POLLIN, 0}, {m_stop.fd(), POLLIN, 0}, {captureFd, 0, 0}};
    int timeout = -1;
    if (const std::optional<Time> due = m_splitter->decisionDue()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now());
        timeout = int(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
    }
    const int ready = ::poll(fds, 3, timeout);
    if (ready < 0) {
        if (errno == EINTR)
            return true;
        printError(QStringLiteral("cannot wait for the port: %1.")
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
        m_failed = true;
        return false;
    }
    if (fds[1].revents & POLLIN) {
        if (m_stop.take() != 0)
            return false;
    }
    if (fds[2].revents & (POLLERR | POLLHUP)) {
        // What the splitter still holds goes out at the end, where its write fails the same way.
        return false;
    }
    if (ready == 0) {
        deliver(m_splitter->idle(now()));
        return !m_ended;
    }
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
        return true;
    char buffer[kReadSize];
    const ssize_t count = ::read(m_sourceFd, buffer, sizeof buffer);
    if (count > 0) {
        deliver(m_splitter->feed(QByteArrayView(buffer, qsizetype(count)), now()));
        return !m_ended;
    }
    if (count == 0 && m_input.valid())
        return false; // the end of the recording
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    const QString what = m_input.valid() ? m_options.inputPath : m_port->devicePath();
    printError(QStringLiteral("%1 failed: %2. The device has gone; plug it in again and "
                              "restart.")
                   .arg(what, count < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                        : QStringLiteral("end of file")));
    m_failed = true;
    return false;
}

int SniffRunner::run()
{
    const bool extcap = m_options.mode == Mode::ExtcapCapture;
    m_printLines = !extcap && m_options.capturePath != QLatin1String("-");
    m_printTotals = !extcap;
    // The capture first: a FIFO waits for its reader, and no byte of the port may wait meanwhile.
    const QString capturePath = extcap ? m_options.fifo : m_options.capturePath;
    if (!capturePath.isEmpty() && !openCapture(capturePath))
        return m_stoppedEarly ? 0 : 2;
    if (!openSource())
        return 2;
    while (step())
        ;
    deliver(m_splitter->finish());
    m_totals.finish();
    m_capture.reset();
    m_port.reset();
    if (m_printTotals)
        std::fputs(qUtf8Printable(m_totals.summary()), stderr);
    return m_failed ? 1 : 0;
}

} // namespace sniff
