// wirelark-poll: the window's exchange from a shell, a script or CI. See the help text in
// polloptions.cpp and packaging/wirelark-poll.1.

#include "console/stopsignals.h"
#include "polloptions.h"
#include "pollrunner.h"

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
        QCoreApplication::setApplicationName(QStringLiteral("wirelark-poll"));

        const poll::CommandLine commandLine = poll::parseCommandLine(QCoreApplication::arguments());
        if (commandLine.action != poll::CommandLine::Action::Run)
            return console::finish(commandLine);
        for (const QString &note : commandLine.notes)
            std::fprintf(stderr, "wirelark-poll: %s\n", qUtf8Printable(note));
        poll::PollRunner runner(commandLine.options, stop);
        return runner.run();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "wirelark-poll: %s\n", error.what());
        return 2;
    }
}
