#pragma once

#include "console/standardoutput.h"
#include "console/stopsignals.h"
#include "polloptions.h"
#include "pollreport.h"

#include "capture/exchangecapture.h"
#include "serial/commsettings.h"
#include "serial/serialcomm.h"
#include "serial/systemcomm.h"
#include "serial/tcpserialcomm.h"
#include "transaction/exchange.h"

#include <QSocketNotifier>
#include <memory>

namespace poll
{

// One run of wirelark-poll: opens the port, runs the exchanges, writes each to standard output
// (and the capture), and ends with a summary on standard error. Stop signals end the run after
// the exchange in flight; a second one abandons that exchange. Needs a QCoreApplication.
class PollRunner
{
public:
    // stop must have been set up before any thread was started.
    PollRunner(const PollOptions &options, console::StopSignals &stop);
    ~PollRunner();
    PollRunner(const PollRunner &) = delete;
    PollRunner &operator=(const PollRunner &) = delete;

    // The exit status: 0 every reply valid, 1 a reply invalid or missing or the device failed,
    // 2 nothing could be run (settings, port, capture) or the output could not be written.
    int run();

private:
    // The port text for serial::openPort and the resolver for the device named by the options.
    void choosePort();
    bool openCapture();
    bool openPort();
    // Runs exchange number sequence; false when the run must end (the cause is set).
    bool exchangeOnce(qint64 sequence, const QByteArray &request);
    // The request to the slave at address: the read of the fields, or the write.
    QByteArray requestTo(int address) const;
    // Over TCP: a connection that ended or could not be made, told once per cause; counted
    // when it cost an exchange.
    void connectionFailed(const QString &message, bool exchangeFailed);
    // Over TCP: connects again before an exchange when the connection has ended; false when it
    // could not (the exchange has failed).
    bool reconnect();
    bool writeOutput(const QByteArray &bytes);
    // Waits with events running until when, or until a stop signal; false after a stop signal.
    bool waitUntil(transaction::Clock::time_point when);
    void takeStopSignals();
    void printError(const QString &message) const;
    QString devicePathOf(const QString &portText) const;

    PollOptions m_options;
    console::StopSignals &m_stop;
    QString m_portText;
    serial::PortResolver m_resolver;
    std::unique_ptr<serial::SerialComm> m_comm;
    serial::TcpSerialComm *m_tcp = nullptr; // m_comm when it is a TCP connection
    QString m_lastFailure;                  // what was last told of a connection that failed
    qint64 m_failedInRow = 0;               // exchanges failed since the last that ran
    std::unique_ptr<transaction::Exchange> m_exchange;
    std::unique_ptr<capture::ExchangeCapture> m_capture; // observes every exchange
    std::unique_ptr<QSocketNotifier> m_stopNotifier;
    PollStats m_stats;
    // Per slave when several are asked.
    std::map<int, PollStats> m_statsByAddress;
    // When the first request's write returned and the last exchange ended: the run's span.
    std::optional<transaction::Clock::time_point> m_firstWritten;
    transaction::Clock::time_point m_lastEnded;
    int m_stopSignals = 0;
    bool m_deviceFailed = false;
    bool m_outputFailed = false; // the output or the capture could not be written
    console::StandardOutput m_output;
};

} // namespace poll
