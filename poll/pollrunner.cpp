#include "pollrunner.h"

#include "frame/rtuframe.h"
#include "frame/writerequest.h"
#include "serial/portopening.h"
#include "serial/systemports.h"
#include "transaction/eventwait.h"
#include "transaction/logline.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace poll
{

PollRunner::PollRunner(const PollOptions &options, console::StopSignals &stop)
    : m_options(options), m_stop(stop)
{
}

PollRunner::~PollRunner()
{
    m_exchange.reset();
    m_comm.reset();
}

void PollRunner::printError(const QString &message) const
{
    std::fprintf(stderr, "wirelark-poll: %s\n", qUtf8Printable(message));
}

void PollRunner::choosePort()
{
    if (!m_options.port.tcpText.isEmpty()) {
        m_portText = m_options.port.tcpText;
        return;
    }
    serial::ChosenPort chosen =
        serial::chooseSystemPort(m_options.port.portText, m_options.port.devicePath);
    m_portText = chosen.portText;
    m_resolver = std::move(chosen.resolver);
}

QString PollRunner::devicePathOf(const QString &portText) const
{
    const std::optional<qint16> number = serial::portNumberOfText(portText);
    if (!number)
        return {};
    const std::optional<serial::MappedPort> port = m_resolver ? m_resolver(*number) : std::nullopt;
    return port ? port->devicePath : QString();
}

bool PollRunner::openCapture()
{
    if (m_options.capturePath.isEmpty())
        return true;
    QString error;
    std::unique_ptr<capture::CaptureWriter> writer =
        capture::CaptureWriter::open(m_options.capturePath, &error);
    if (!writer) {
        printError(error);
        return false;
    }
    m_capture = std::make_unique<capture::ExchangeCapture>(std::move(writer));
    m_capture->onFailure = [this](const QString &message) {
        printError(message);
        m_outputFailed = true;
    };
    return true;
}

bool PollRunner::openPort()
{
    choosePort();
    if (m_options.port.tcpText.isEmpty()) {
        m_comm = serial::createSystemComm(m_resolver);
    } else {
        auto tcp = std::make_unique<serial::TcpSerialComm>();
        m_tcp = tcp.get();
        m_comm = std::move(tcp);
    }
    m_comm->setDTREnable(false);
    m_comm->setInputMode(1);
    if (const serial::CommError error = m_comm->setRs485(m_options.rs485)) {
        printError(error.message);
        return false;
    }
    if (const serial::CommError error =
            serial::openPort(*m_comm, m_options.speedText, m_options.framingText, m_portText)) {
        printError(error.number == serial::CommError::NoRs485
                       ? error.message + QStringLiteral(" Use an adapter with automatic "
                                                        "direction control, or drop --rs485.")
                       : error.message);
        return false;
    }
    // Later connections are part of an exchange: they wait no longer than it does.
    if (m_tcp)
        m_tcp->setConnectTimeout(m_options.waitMs);
    m_exchange = std::make_unique<transaction::Exchange>(*m_comm);
    m_exchange->setAbandon([this] { return m_stopSignals >= 2; });
    m_exchange->setObserver(m_capture.get());
    m_exchange->setReplyEnd(m_options.fixedWait ? transaction::ReplyEnd::WaitElapsed
                                                : transaction::ReplyEnd::FrameEnd);
    m_exchange->setEchoFirst(m_options.echo);
    return true;
}

void PollRunner::takeStopSignals()
{
    while (m_stop.take() != 0)
        ++m_stopSignals;
}

bool PollRunner::writeOutput(const QByteArray &bytes)
{
    if (m_outputFailed)
        return false;
    if (m_output.write(bytes, [this](const QString &message) { printError(message); }))
        return true;
    // A reader that has gone ends the run quietly, as a stop signal would; a failure ends it
    // with the status of an output that could not be written.
    m_outputFailed = m_output.failed();
    return false;
}

void PollRunner::connectionFailed(const QString &message, bool exchangeFailed)
{
    if (message != m_lastFailure)
        printError(message + (exchangeFailed && !message.contains(QLatin1String("cannot connect"))
                                  ? QStringLiteral(" The next exchange connects again.")
                                  : QString()));
    m_lastFailure = message;
    if (exchangeFailed) {
        ++m_failedInRow;
        m_stats.addFailed();
    }
}

bool PollRunner::reconnect()
{
    if (m_comm->portOpen())
        return true;
    // Closing a connection that ended tells why, unless an exchange has told it already.
    if (const serial::CommError error = m_comm->setPortOpen(false);
        error.number == serial::CommError::DeviceLost)
        connectionFailed(error.message, false);
    const transaction::Clock::time_point start = transaction::Clock::now();
    if (const serial::CommError error = m_comm->setPortOpen(true)) {
        connectionFailed(error.message, true);
        // A refusal comes at once: the failed exchange still takes its wait, so that a server
        // that is down is asked at the pace of the run, not flooded.
        const std::chrono::duration<double> spent = transaction::Clock::now() - start;
        transaction::waitProcessingEvents(m_options.waitMs / 1000.0 - spent.count(), [this] {
            takeStopSignals();
            return m_stopSignals > 0;
        });
        return false;
    }
    return true;
}

bool PollRunner::waitUntil(transaction::Clock::time_point when)
{
    takeStopSignals();
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(when - transaction::Clock::now());
    if (m_stopSignals > 0 || left.count() <= 0)
        return m_stopSignals == 0;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(m_stopNotifier.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    timer.start(left);
    loop.exec();
    takeStopSignals();
    return m_stopSignals == 0;
}

QByteArray PollRunner::requestTo(int address) const
{
    if (m_options.writeFunction == 0) {
        frame::RequestFields fields = m_options.fields;
        if (!m_options.addresses.isEmpty())
            fields.address = QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
        return frame::frameBytes(frame::buildRequest(fields));
    }
    QString error; // the options were checked with the same values
    return frame::writeRequest(quint8(address), m_options.writeFunction,
                               quint16(m_options.fields.startRegister.toUInt(nullptr, 16)),
                               m_options.writeWords, error);
}

bool PollRunner::exchangeOnce(qint64 sequence, const QByteArray &request)
{
    // A broadcast gets no reply: at the frame's end its wait ends once the request has left the
    // line and a frame gap has passed, so that the next request does not follow too soon.
    const bool broadcast = quint8(request[0]) == frame::kBroadcastAddress;
    const transaction::ExchangeResult result =
        m_exchange->run(request, static_cast<double>(m_options.waitMs));
    switch (result.end) {
    case transaction::ExchangeEnd::Completed:
        break;
    case transaction::ExchangeEnd::Abandoned:
        return false;
    case transaction::ExchangeEnd::PortClosed:
    case transaction::ExchangeEnd::Failed:
        if (m_tcp) {
            connectionFailed(result.error.message, true);
            return true;
        }
        printError(result.error.message);
        m_deviceFailed = true;
        return false;
    }
    if (!m_firstWritten)
        m_firstWritten = result.times.written;
    m_lastEnded = transaction::Clock::now();

    // The verdict judges the request's first six bytes: address, function, start and quantity
    // (or value) decide the reply it expects, for a write as for a read.
    frame::RequestFrame header{};
    std::copy_n(request.begin(), 6, header.begin());
    frame::storeCrc(header);
    ExchangeRecord record;
    record.sequence = sequence;
    record.written = capture::systemTimeOf(*result.times.written);
    record.outcome = transaction::exchangeOutcome(header, result, m_options.line,
                                                  m_options.fields.registerCount);
    record.outcome.request = request;
    record.address = quint8(request[0]);
    if (m_options.writeFunction != 0) {
        record.writtenValues = m_options.writeTexts;
        record.broadcast = broadcast;
        if (!broadcast) {
            const QString problem = frame::writeReplyProblem(request, result.reply);
            if (!problem.isEmpty()) {
                record.outcome.passed = false;
                record.outcome.verdictText = QStringLiteral("Not written: ") + problem;
            } else if (result.echo != transaction::EchoTaken::Missing) {
                record.outcome.passed = true;
            }
        }
    }
    m_stats.add(record);
    if (!m_options.addresses.isEmpty())
        m_statsByAddress[record.address].add(record);
    if (!m_lastFailure.isEmpty())
        printError(QStringLiteral("%1: connected again; %2 exchange(s) failed meanwhile.")
                       .arg(m_portText)
                       .arg(m_failedInRow));
    m_lastFailure.clear();
    m_failedInRow = 0;
    return writeOutput(formatRecord(m_options.format, record, m_options.layout));
}

int PollRunner::run()
{
    if (!openCapture() || !openPort())
        return 2;
    m_stopNotifier = std::make_unique<QSocketNotifier>(m_stop.fd(), QSocketNotifier::Read);
    QObject::connect(m_stopNotifier.get(), &QSocketNotifier::activated, m_stopNotifier.get(),
                     [this] { takeStopSignals(); });

    const QList<int> addresses = m_options.addresses.isEmpty()
                                     ? QList<int>{m_options.fields.address.toInt(nullptr, 16)}
                                     : m_options.addresses;
    QList<QByteArray> requests;
    for (const int address : addresses)
        requests << requestTo(address);
    const QString device = devicePathOf(m_portText);
    QString numbers = requestedNumbers(requests.first(), m_options.base);
    if (addresses.size() > 1) {
        QStringList slaves;
        for (const int address : addresses)
            slaves << QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
        numbers +=
            QStringLiteral("; the same to slaves %1 in turn").arg(slaves.join(QLatin1Char(' ')));
    }
    QString line;
    if (m_options.rs485)
        line += QStringLiteral(", RS-485 (RTS %1 ms before, %2 ms after)")
                    .arg(m_options.rs485->rtsBeforeMs)
                    .arg(m_options.rs485->rtsAfterMs);
    if (m_options.echo)
        line += QStringLiteral(", echo expected");
    std::fprintf(
        stderr, "Polling %s%s at %s,%s%s: request %s%s, wait %d ms\n", qUtf8Printable(m_portText),
        device.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (%1)").arg(device)),
        qUtf8Printable(m_options.speedText), qUtf8Printable(m_options.framingText),
        qUtf8Printable(line), qUtf8Printable(transaction::logLine(requests.first()).chopped(2)),
        numbers.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (%1)").arg(numbers)),
        m_options.waitMs);

    bool running = m_options.format != OutputFormat::Csv || writeOutput(csvHeader());
    const std::chrono::milliseconds interval{m_options.intervalMs};
    // The period counts from the first start, so that a late exchange does not shift the later.
    const transaction::Clock::time_point firstStart = transaction::Clock::now();
    qint64 sequence = 0;
    for (qint64 cycle = 1; running && (m_options.repeat == 0 || cycle <= m_options.repeat);
         ++cycle) {
        if (interval.count() > 0 && cycle > 1) {
            transaction::Clock::time_point start = firstStart + (cycle - 1) * interval;
            // A slot missed by a long exchange is skipped, as ping skips it.
            const transaction::Clock::time_point now = transaction::Clock::now();
            if (start < now)
                start += ((now - start) / interval + 1) * interval;
            if (!waitUntil(start))
                break;
        }
        for (const QByteArray &request : requests) {
            takeStopSignals();
            if (m_stopSignals > 0 || !running)
                break;
            running = (m_tcp && !reconnect()) || exchangeOnce(++sequence, request);
        }
        if (m_stopSignals > 0)
            break;
    }

    m_stopNotifier.reset();
    m_exchange.reset();
    m_comm->setPortOpen(false); // a device that is gone may refuse; closed is all that matters
    m_capture.reset();
    const std::chrono::microseconds span =
        m_firstWritten
            ? std::chrono::duration_cast<std::chrono::microseconds>(m_lastEnded - *m_firstWritten)
            : std::chrono::microseconds{};
    QString summary = QLatin1Char('\n') + m_stats.summary(m_portText, span);
    for (const auto &[address, stats] : m_statsByAddress)
        summary += stats.summary(QStringLiteral("slave %1").arg(address), span);
    std::fputs(qUtf8Printable(summary), stderr);
    if (m_outputFailed)
        return 2;
    return m_deviceFailed ? 1 : m_stats.exitStatus();
}

} // namespace poll
