#include "scanrunner.h"

#include "scanplan.h"

#include "serial/portopening.h"
#include "serial/systemports.h"

#include <QFileInfo>
#include <cstdio>
#include <set>
#include <unistd.h>

namespace scan
{

namespace
{

// A device found is probed this many times again, at this many times the timeout.
constexpr int kConfirmTries = 3;
constexpr int kConfirmWaitFactor = 10;

} // namespace

QByteArray deviceLine(OutputFormat format, const FoundDevice &device)
{
    const bool exception = device.judgement.outcome == Outcome::Exception;
    const QString time = QString::number(device.timeMs, 'f', 1);
    if (format == OutputFormat::Json) {
        return QStringLiteral("{\"address\": %1, \"speed\": %2, \"settings\": \"%3\", "
                              "\"outcome\": \"%4\", \"exception\": %5, \"time_ms\": %6}\n")
            .arg(device.address)
            .arg(device.speed)
            .arg(device.framing, outcomeName(device.judgement.outcome),
                 exception ? QString::number(device.judgement.exceptionCode)
                           : QStringLiteral("null"),
                 time)
            .toUtf8();
    }
    const QString code =
        QString::number(device.judgement.exceptionCode, 16).rightJustified(2, QLatin1Char('0'));
    const QString outcome = exception ? QStringLiteral("exception ") + code.toUpper()
                                      : outcomeName(device.judgement.outcome);
    return QStringLiteral("address %1 at %2,%3: %4 in %5 ms\n")
        .arg(device.address)
        .arg(device.speed)
        .arg(device.framing, outcome, time)
        .toUtf8();
}

ScanRunner::ScanRunner(const ScanOptions &options, console::StopSignals &stop)
    : m_options(options), m_stop(stop), m_progressLine(::isatty(STDERR_FILENO) == 1)
{
}

ScanRunner::~ScanRunner()
{
    m_exchange.reset();
    m_comm.reset();
}

void ScanRunner::choosePort()
{
    serial::ChosenPort chosen = serial::chooseSystemPort(m_options.portText, m_options.devicePath);
    m_portText = chosen.portText;
    m_resolver = std::move(chosen.resolver);
}

QString ScanRunner::openAt(qint32 speed, const QString &framing)
{
    if (!m_comm) {
        choosePort();
        m_comm = serial::createSystemComm(m_resolver);
        m_comm->setDTREnable(false);
        m_comm->setInputMode(1);
        m_exchange = std::make_unique<transaction::Exchange>(*m_comm);
        m_exchange->setAbandon([this] { return m_stopSignals >= 2; });
        // A probe ends at its reply's frame end; only a silent address waits the timeout.
        m_exchange->setReplyEnd(transaction::ReplyEnd::FrameEnd);
    }
    if (m_comm->portOpen())
        m_comm->setPortOpen(false);
    const serial::CommError error =
        serial::openPort(*m_comm, QString::number(speed), framing, m_portText);
    return error ? error.message : QString();
}

std::optional<ScanRunner::ProbeResult> ScanRunner::probe(int address, double waitMs)
{
    const QByteArray request = probeFrame(m_options.probe, quint8(address));
    const transaction::ExchangeResult result = m_exchange->run(request, waitMs);
    switch (result.end) {
    case transaction::ExchangeEnd::Completed:
        break;
    case transaction::ExchangeEnd::Abandoned:
        return std::nullopt;
    case transaction::ExchangeEnd::PortClosed:
    case transaction::ExchangeEnd::Failed:
        note(result.error.message);
        m_deviceFailed = true;
        return std::nullopt;
    }
    ProbeResult probed{judgeReply(request, result.reply), 0};
    if (result.times.written && result.times.lastByte)
        probed.timeMs = std::chrono::duration<double, std::milli>(*result.times.lastByte -
                                                                  *result.times.written)
                            .count();
    return probed;
}

bool ScanRunner::confirm(int address, int timeoutMs)
{
    for (int attempt = 0; attempt < kConfirmTries && m_stopSignals < 2; ++attempt) {
        const std::optional<ProbeResult> again =
            probe(address, double(timeoutMs) * kConfirmWaitFactor);
        if (!again)
            return false;
        if (isPresent(again->judgement.outcome))
            return true;
    }
    return false;
}

bool ScanRunner::stopping()
{
    while (m_stop.take() != 0)
        ++m_stopSignals;
    return m_stopSignals > 0 || m_deviceFailed;
}

void ScanRunner::note(const QString &text)
{
    m_progressLine.note(text);
}

void ScanRunner::report(const FoundDevice &device)
{
    if (m_reported.contains(device.address)) {
        note(QStringLiteral("address %1 answers at %2,%3 as well.")
                 .arg(device.address)
                 .arg(device.speed)
                 .arg(device.framing));
        return;
    }
    m_reported.insert(device.address);
    ++m_found;
    m_progressLine.output(deviceLine(m_options.format, device));
}

bool ScanRunner::scanSettings(qint32 speed, const QString &framing)
{
    const int timeoutMs = timeoutFor(m_options, speed);
    const std::chrono::nanoseconds probeTime = silentProbeTime(m_options, speed, framing);
    m_progress.settings = QString::number(speed) + QLatin1Char(',') + framing;
    QList<FoundDevice> candidates;
    int gatewayAnswers = 0;
    int garbled = 0;
    int echoes = 0;
    int probed = 0;
    bool carryOn = true;
    for (int address : m_options.addresses) {
        if (stopping()) {
            carryOn = false;
            break;
        }
        m_progress.left = std::chrono::duration_cast<std::chrono::milliseconds>(m_left);
        m_progress.found = m_found + int(candidates.size());
        m_progressLine.show(m_progress);
        const std::optional<ProbeResult> result = probe(address, timeoutMs);
        if (!result) {
            carryOn = false;
            break;
        }
        ++probed;
        ++m_progress.done;
        m_left -= probeTime;
        const Outcome outcome = result->judgement.outcome;
        gatewayAnswers += outcome == Outcome::GatewayException;
        garbled += outcome == Outcome::Garbled;
        echoes += outcome == Outcome::EchoOnly || result->judgement.echoRemoved;
        if (!isPresent(outcome))
            continue;
        const FoundDevice device{address, speed, framing, result->judgement, result->timeMs};
        if (m_options.first) {
            if (confirm(address, timeoutMs)) {
                report(device);
                carryOn = false;
                break;
            }
            continue;
        }
        candidates << device;
    }
    m_progress.found = m_found + int(candidates.size());
    m_progress.left = std::chrono::duration_cast<std::chrono::milliseconds>(m_left);
    m_progressLine.show(m_progress);

    const QString at = m_progress.settings;
    if (echoes > 0)
        note(QStringLiteral("at %1 the port echoes each probe (a two-wire adapter); the echo was "
                            "removed before judging.")
                 .arg(at));
    if (probed > 1 && gatewayAnswers == probed)
        note(QStringLiteral("at %1 every address answers with a gateway exception: a gateway, "
                            "with no device behind it answering.")
                 .arg(at));
    else if (gatewayAnswers > 0)
        note(QStringLiteral("at %1 a gateway answered %2 addresses with exception 0A or 0B: not "
                            "devices.")
                 .arg(at)
                 .arg(gatewayAnswers));
    if (garbled > 0)
        note(QStringLiteral("at %1 %2 of %3 probes had garbled answers: something is on the line, "
                            "maybe at other settings.")
                 .arg(at)
                 .arg(garbled)
                 .arg(probed));
    if (probed > 1 && candidates.size() == probed) {
        ++m_found;
        const QByteArray line =
            m_options.format == OutputFormat::Json
                ? QStringLiteral("{\"every_address\": true, \"speed\": %1, \"settings\": \"%2\", "
                                 "\"outcome\": \"%3\"}\n")
                      .arg(speed)
                      .arg(framing, outcomeName(candidates.first().judgement.outcome))
                      .toUtf8()
                : QStringLiteral("every address answers at %1: a gateway or a slave that answers "
                                 "every address, not %2 devices\n")
                      .arg(at)
                      .arg(probed)
                      .toUtf8();
        m_progressLine.output(line);
        return carryOn;
    }
    for (const FoundDevice &device : candidates) {
        if (m_stopSignals >= 2 || m_deviceFailed)
            break;
        if (confirm(device.address, timeoutMs))
            report(device);
    }
    return carryOn && !m_deviceFailed;
}

int ScanRunner::run()
{
    m_stopNotifier = std::make_unique<QSocketNotifier>(m_stop.fd(), QSocketNotifier::Read);
    QObject::connect(m_stopNotifier.get(), &QSocketNotifier::activated, m_stopNotifier.get(),
                     [this] { stopping(); });
    m_left = worstCaseDuration(m_options);
    m_progress.total =
        qint64(m_options.speeds.size()) * m_options.framings.size() * m_options.addresses.size();
    QString lastError;
    bool carryOn = true;
    for (qint32 speed : m_options.speeds) {
        for (const QString &framing : m_options.framings) {
            if (!carryOn || stopping())
                break;
            lastError = openAt(speed, framing);
            if (!lastError.isEmpty()) {
                const QString skipped =
                    QStringLiteral("%1,%2 skipped: %3").arg(speed).arg(framing).arg(lastError);
                if (m_opened)
                    note(skipped);
                else
                    m_heldNotes << skipped;
                m_progress.total -= m_options.addresses.size();
                m_left -= silentProbeTime(m_options, speed, framing) * m_options.addresses.size();
                continue;
            }
            if (!m_opened) {
                m_opened = true;
                for (const QString &held : std::as_const(m_heldNotes))
                    note(held);
            }
            carryOn = scanSettings(speed, framing);
        }
    }
    m_stopNotifier.reset();
    if (m_comm && m_comm->portOpen())
        m_comm->setPortOpen(false);
    if (!m_opened) {
        note(lastError);
        return 2;
    }
    m_progressLine.finish();
    if (m_stopSignals > 0)
        note(QStringLiteral("stopped; %1 device(s) found before the stop.").arg(m_found));
    else
        note(QStringLiteral("%1 device(s) found.").arg(m_found));
    return m_found > 0 ? 0 : 1;
}

} // namespace scan
