// wirelark-sniff: a passive Modbus RTU bus monitor and Wireshark extcap. See the help text in
// sniffoptions.cpp and packaging/wirelark-sniff.1.

#include "console/stopsignals.h"
#include "serial/systemports.h"
#include "sniff/extcap.h"
#include "sniff/sniffoptions.h"
#include "sniff/sniffrunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <exception>

namespace
{

int printOut(const QString &text)
{
    std::fputs(qUtf8Printable(text), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    try {
        // Blocked before Qt starts a thread, so that every thread leaves the stop signals to
        // the signal file descriptor.
        console::StopSignals stop;
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("wirelark-sniff"));
        QCoreApplication::setApplicationVersion(QStringLiteral(WIRELARK_VERSION));

        const sniff::CommandLine commandLine =
            sniff::parseCommandLine(QCoreApplication::arguments());
        if (commandLine.action != console::ParseOutcome::Action::Run)
            return console::finish(commandLine);
        const sniff::SniffOptions &options = commandLine.options;
        switch (options.mode) {
        case sniff::Mode::ExtcapInterfaces:
            return printOut(sniff::extcapInterfaces(serial::scanSystemPorts(),
                                                    QStringLiteral(WIRELARK_VERSION)));
        case sniff::Mode::ExtcapDlts:
            return printOut(sniff::extcapDlts(options.extcapInterface));
        case sniff::Mode::ExtcapConfig:
            return printOut(sniff::extcapConfig());
        case sniff::Mode::InstallExtcap: {
            bool ok = false;
            const QStringList lines = sniff::installExtcap(
                QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath(),
                sniff::userExtcapFolders(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath()),
                &ok);
            for (const QString &line : lines)
                std::fprintf(ok ? stdout : stderr, "%s\n", qUtf8Printable(line));
            return ok ? 0 : 1;
        }
        case sniff::Mode::Monitor:
        case sniff::Mode::ExtcapCapture:
            break;
        }
        sniff::SniffRunner runner(options, stop);
        return runner.run();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "wirelark-sniff: %s\n", error.what());
        return 2;
    }
}
