#pragma once

#include "console/programoptions.h"
#include "serial/commsettings.h"

#include <QString>
#include <QStringList>

namespace sniff
{

enum class OutputFormat { Text, Json };

// What the program is asked to do.
enum class Mode {
    Monitor,          // watch a port or read a recording, print frames
    InstallExtcap,    // link the program into the user's extcap folders
    ExtcapInterfaces, // Wireshark asks for the interfaces
    ExtcapDlts,       // ... the link type of one interface
    ExtcapConfig,     // ... the settings of one interface
    ExtcapCapture,    // ... a capture of one interface into a FIFO
};

// Everything wirelark-sniff is asked to do, checked.
struct SniffOptions {
    Mode mode = Mode::Monitor;
    // The port: "Com<N>" for a number of the port map, or a device path; empty with an input.
    QString portText;
    QString devicePath;
    // As given, for the start line; line is what they say.
    QString speedText = QStringLiteral("9600");
    QString framingText = QStringLiteral("N,8,1");
    serial::CommSettings line;
    QString inputPath;   // a recorded byte stream instead of a port
    QString capturePath; // pcap output, "-" for standard output; empty: none
    OutputFormat format = OutputFormat::Text;
    QString extcapInterface; // the interface Wireshark names
    QString fifo;            // where the extcap capture goes
};

// The outcome of reading the command line, with the options when it is Run.
struct CommandLine : console::ParseOutcome {
    SniffOptions options;
};

// Reads the arguments, program name first. Values follow their option as the next argument or
// after "=". An argument that begins with --extcap- switches to Wireshark's extcap calls, in
// which --capture is a flag and the capture goes to --fifo.
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace sniff
