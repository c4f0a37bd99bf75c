#pragma once

#include "capture/capturewriter.h"
#include "console/standardoutput.h"
#include "console/stopsignals.h"
#include "console/uniquefd.h"
#include "sniff/bustotals.h"
#include "sniff/framesplitter.h"
#include "sniff/readonlyport.h"
#include "sniff/sniffoptions.h"

#include <QByteArray>
#include <memory>
#include <optional>
#include <vector>

namespace sniff
{

// Runs the monitor (Mode::Monitor) or an extcap capture (Mode::ExtcapCapture): opens the source
// and the outputs, splits what comes until a stop signal, the end of the input or a failure,
// and hands every item to the outputs as it is decided. Returns the exit status.
class SniffRunner
{
public:
    SniffRunner(const SniffOptions &options, console::StopSignals &stop);
    int run();

private:
    bool openSource();
    bool openPort(const QString &devicePath);
    // The FIFO at path opened for writing once it has a reader; invalid when path is no FIFO,
    // when it cannot be opened, or when a stop signal came first (m_stoppedEarly).
    console::UniqueFd waitForReader(const QString &path);
    bool openCapture(const QString &path);
    // Waits for bytes, a stop signal or the splitter's next decision; false to stop.
    bool step();
    void deliver(const std::vector<SplitItem> &items);
    // Reports a capture that cannot be written, and ends the run where nothing else is left to do.
    void captureFailed();
    bool writeOut(const QByteArray &bytes);
    void printError(const QString &message) const;

    SniffOptions m_options;
    console::StopSignals &m_stop;
    std::unique_ptr<ReadOnlyPort> m_port;
    console::UniqueFd m_input;
    int m_sourceFd = -1;
    std::optional<FrameSplitter> m_splitter;
    std::unique_ptr<capture::CaptureWriter> m_capture;
    BusTotals m_totals;
    bool m_printLines = true;
    bool m_printTotals = true;
    bool m_ended = false;             // end of input or stop signal
    bool m_failed = false;            // the port failed or an output could not be written
    console::StandardOutput m_output; // the lines
    bool m_stoppedEarly = false;      // a stop signal came before the capture had a reader
    QByteArray m_out;
    // The system time of the monotonic clock's origin, taken once so that the times of the
    // lines never go back.
    std::chrono::system_clock::time_point m_wallClockAtZero;
};

} // namespace sniff
