#pragma once

#include "console/stopsignals.h"
#include "progressline.h"
#include "scanoptions.h"

#include "serial/serialcomm.h"
#include "serial/systemcomm.h"
#include "transaction/exchange.h"

#include <QSet>
#include <QSocketNotifier>
#include <memory>
#include <optional>

namespace scan
{

// A device that answered its probe and the probes again after it.
struct FoundDevice {
    int address = 0;
    qint32 speed = 0;
    QString framing;
    Judgement judgement;
    double timeMs = 0; // from the probe's write to the reply's last byte
};

// The line of a device found, in the format asked, with its line end.
QByteArray deviceLine(OutputFormat format, const FoundDevice &device);

// One run of wirelark-scan: for each speed and framing, opens the port and probes every address,
// then reports the devices it confirmed on standard output and its progress on standard error.
// Stop signals end the scan after the probe in flight; a second one abandons that probe. Needs a
// QCoreApplication.
class ScanRunner
{
public:
    // stop must have been set up before any thread was started.
    ScanRunner(const ScanOptions &options, console::StopSignals &stop);
    ~ScanRunner();
    ScanRunner(const ScanRunner &) = delete;
    ScanRunner &operator=(const ScanRunner &) = delete;

    // The exit status: 0 a device found, 1 none, 2 the port could not be opened at any settings.
    int run();

private:
    // The outcome of one probe, or nothing when the scan must end (a stop, a failed device).
    struct ProbeResult {
        Judgement judgement;
        double timeMs = 0;
    };

    void choosePort();
    // Opens the port at speed and framing; the message of a refusal, or empty.
    QString openAt(qint32 speed, const QString &framing);
    std::optional<ProbeResult> probe(int address, double waitMs);
    // Probes a device found again; true when one of three tries shows it again.
    bool confirm(int address, int timeoutMs);
    // Scans the addresses at the open port's settings; false when the scan must end.
    bool scanSettings(qint32 speed, const QString &framing);
    void report(const FoundDevice &device);
    void note(const QString &text);
    bool stopping();

    ScanOptions m_options;
    console::StopSignals &m_stop;
    QString m_portText;
    serial::PortResolver m_resolver;
    std::unique_ptr<serial::SerialComm> m_comm;
    std::unique_ptr<transaction::Exchange> m_exchange;
    std::unique_ptr<QSocketNotifier> m_stopNotifier;
    ProgressLine m_progressLine;
    Progress m_progress;
    QStringList m_heldNotes; // the settings refused before the port first opened
    bool m_opened = false;   // the port opened at some settings
    bool m_deviceFailed = false;
    int m_stopSignals = 0;
    int m_found = 0;
    QSet<int> m_reported; // the addresses of the devices printed, each printed once
    std::chrono::nanoseconds m_left{};
};

} // namespace scan
