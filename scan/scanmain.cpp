// wirelark-scan: finds the slaves on a line, their addresses and line settings. See the help text
// in scanoptions.cpp and packaging/wirelark-scan.1.

#include "console/stopsignals.h"
#include "scanoptions.h"
#include "scanplan.h"
#include "scanrunner.h"

#include <QCoreApplication>
#include <cstdio>
#include <exception>

int main(int argc, char *argv[])
{
    try {
        // Blocked before Qt starts a thread, so that every thread leaves the stop signals to
        // the signal file descriptor.
        console::StopSignals stop;
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("wirelark-scan"));

        const scan::CommandLine commandLine = scan::parseCommandLine(QCoreApplication::arguments());
        if (commandLine.action != scan::CommandLine::Action::Run)
            return console::finish(commandLine);
        if (commandLine.options.dryRun) {
            std::fputs(qUtf8Printable(scan::planText(commandLine.options)), stdout);
            return 0;
        }
        scan::ScanRunner runner(commandLine.options, stop);
        return runner.run();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "wirelark-scan: %s\n", error.what());
        return 2;
    }
}
