#pragma once

#include "frame/request.h"

#include <QString>
#include <QStringList>

namespace poll
{

enum class OutputFormat { Text, Csv, Json };

// The port as the command line names it.
struct PortTarget {
    // "Com<N>", for serial::openPort: from "Com5", "com5", "COM5" or "5".
    QString portText;
    // A device named by its path ("/dev/ttyUSB0", "/dev/pts/3"); empty for a port number.
    QString devicePath;
};

// Everything wirelark-poll is asked to do, checked and normalised.
struct PollOptions {
    PortTarget port;
    QString speedText = QStringLiteral("9600");
    QString framingText = QStringLiteral("N,8,1");
    // Each brought to its width and upper case, as the window's fields are when they lose focus.
    frame::RequestFields fields{QStringLiteral("01"), QStringLiteral("03"), QStringLiteral("0000"),
                                QStringLiteral("0002")};
    // The wait after each request, 10 to 10000 ms.
    int waitMs = 100;
    // Exchanges to run; 0 runs until a stop signal.
    qint64 repeat = 1;
    QString capturePath; // empty: no capture
    OutputFormat format = OutputFormat::Text;
};

// The outcome of reading the command line. error is set for a wrong command line (exit status
// 2); notes are remarks for standard error that do not stop the run (a wait brought into range).
struct CommandLine {
    PollOptions options;
    bool help = false;
    bool version = false;
    QString helpText; // what --help prints
    QString error;
    QStringList notes;
};

// Reads the arguments, program name first. Values follow their option as the next argument or
// after "=" ("--port 5", "--port=5").
CommandLine parseCommandLine(const QStringList &arguments);

// The port named by text: "Com5", "com5", "COM5", "Com 5" or "5" (1 to 32767) is that port number;
// text with a "/" is a device path. Any other text sets error.
PortTarget portTarget(const QString &text, QString &error);

// A hexadecimal request field as given on the command line: at most width characters, each 0-9,
// a-f or A-F (the characters the window's key filter lets into the field). The normalised text
// (frame::Length_str), or an empty text with error set.
QString hexField(const QString &option, const QString &text, qint16 width, QString &error);

} // namespace poll
