// wirelark-scan against the simulator on a pseudo-terminal: a full scan of 247 addresses at one
// speed beside its bound, and the time to find a slave at 19200 baud, address 247, with the
// default order and --first.
#include "bench/benchreport.h"
#include "serial/commsettings.h"
#include "serial/linetiming.h"
#include "tests/support/slaveprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

namespace
{

constexpr int kAddresses = 247;
constexpr int kTimeoutMs = 100;
constexpr qsizetype kProbeBytes = 8; // FC 03, one register
constexpr qsizetype kReplyBytes = 7; // address, 03, byte count, one register, CRC
constexpr double kTurnaroundMs = 1;  // the simulator's default
constexpr double kGoal = 1.05;

struct Timed {
    bool ok = false;
    double ms = 0;
    QString out;
};

Timed runScan(const QString &device, const QStringList &arguments)
{
    QProcess scan;
    QElapsedTimer clock;
    clock.start();
    scan.start(QStringLiteral(WIRELARK_SCAN_PATH),
               QStringList{QStringLiteral("--port"), device} + arguments);
    const bool finished = scan.waitForFinished(600000);
    Timed timed{finished && scan.exitStatus() == QProcess::NormalExit && scan.exitCode() == 0,
                double(clock.nsecsElapsed()) / 1e6,
                QString::fromUtf8(scan.readAllStandardOutput())};
    std::fprintf(stderr, "%s\n%s", qUtf8Printable(timed.out),
                 scan.readAllStandardError().constData());
    return timed;
}

double milliseconds(std::chrono::nanoseconds duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    serial::CommSettings line;
    line.baudRate = 19200;

    SlaveProcess full;
    if (!full.start(home.path(), {"--address", "100", "--speed", "19200", "--quiet"})) {
        bench::printRow({"wirelark-scan", "not measured: wirelark-slave did not start", "-", "-",
                         "-", bench::Verdict::Missed});
        return 1;
    }
    const Timed scan = runScan(full.devicePath(), {"--speeds", "19200", "--settings", "N,8,1",
                                                   "--timeout", QString::number(kTimeoutMs)});
    full.stop();
    // Every silent address waits its probe on the wire and the timeout; the present slave's two
    // exchanges (the probe and the one that confirms it) take the probe, a frame gap, the
    // turnaround and the reply.
    const double silent = milliseconds(serial::charactersTime(line, kProbeBytes)) + kTimeoutMs;
    const double present = milliseconds(serial::charactersTime(line, kProbeBytes + kReplyBytes) +
                                        serial::frameGap(line)) +
                           kTurnaroundMs;
    const double bound = (kAddresses - 1) * silent + 2 * present;
    const bool found = scan.out.startsWith(QStringLiteral("address 100 at 19200,N,8,1: reply"));
    bench::printRow({"wirelark-scan: 247 addresses at 19200,N,8,1, one slave, --timeout 100 "
                     "(reference: 246 x (probe on the wire + timeout) + the slave's exchanges)",
                     scan.ok && found ? bench::duration(scan.ms) : "failed", bench::duration(bound),
                     bench::ratioText(scan.ms, bound), "within 5 % of the bound",
                     bench::verdictOf(scan.ok && found && scan.ms <= bound * kGoal)});

    SlaveProcess at247;
    if (!at247.start(home.path(), {"--address", "247", "--speed", "19200", "--quiet"}))
        return 1;
    const Timed first = runScan(at247.devicePath(), {"--first"});
    at247.stop();
    const bool found247 = first.out.startsWith(QStringLiteral("address 247 at 19200,N,8,1"));
    bench::printRow({"wirelark-scan --first: a slave at 19200, address 247, default order (9600 "
                     "first; a pty takes N,8,1 and N,8,2 only)",
                     first.ok && found247 ? bench::duration(first.ms) : "failed", "-", "-", "-",
                     found247 ? bench::Verdict::None : bench::Verdict::Missed});
    return scan.ok && found && found247 ? 0 : 1;
}
