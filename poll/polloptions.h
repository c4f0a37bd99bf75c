#pragma once

#include "console/programoptions.h"
#include "frame/request.h"
#include "frame/values.h"
#include "serial/commsettings.h"
#include "serial/modemlines.h"

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
    // "tcp://HOST:PORT": RTU frames over a TCP connection; empty for a serial port.
    QString tcpText;
};

// Everything wirelark-poll is asked to do, checked and normalised.
struct PollOptions {
    PortTarget port;
    QString speedText = QStringLiteral("9600");
    QString framingText = QStringLiteral("N,8,1");
    // What speedText and framingText say, read when the command line is.
    serial::CommSettings line;
    // The driver's RS-485 mode, asked for at the open; unset: the driver's mode is left alone.
    std::optional<serial::Rs485Mode> rs485;
    // Every reply comes after the adapter's echo of its request, taken off before it is judged.
    bool echo = false;
    // Each brought to its width and upper case, as the window's fields are when they lose focus.
    frame::RequestFields fields{QStringLiteral("01"), QStringLiteral("03"), QStringLiteral("0000"),
                                QStringLiteral("0002")};
    // The number of the first register or coil as the command line and the output give it: 0,
    // the protocol's own numbering, or 1, as many device manuals number them. fields hold the
    // protocol's number.
    int base = 0;
    // The wait after each request, frame::kMinDelayMs to frame::kMaxDelayMs.
    int waitMs = 100;
    // Exchanges to run; 0 runs until a stop signal.
    qint64 repeat = 1;
    // The window's exchange exactly: every exchange lasts its whole wait. Otherwise an exchange
    // ends at the end of the reply's frame.
    bool fixedWait = false;
    // Milliseconds from the start of one request to the start of the next; 0: back to back,
    // each request still held for a silent line.
    int intervalMs = 0;
    // How the registers of an FC 03/04 reply are read as values; unset: the window's read-outs.
    std::optional<frame::ValueLayout> layout;
    // Writing: the function (05, 06, 0F or 10; 0 reads) and the registers or coils (0 or 1) to
    // write from --register on, and the values as given, for the output.
    quint8 writeFunction = 0;
    QList<quint16> writeWords;
    QStringList writeTexts;
    // The slaves asked in each cycle, in order; empty: the one of fields.address.
    QList<int> addresses;
    QString capturePath; // empty: no capture
    OutputFormat format = OutputFormat::Text;
};

// The outcome of reading the command line, with the options when it is Run; notes are remarks
// for standard error that do not stop the run (a wait brought into range).
struct CommandLine : console::ParseOutcome {
    PollOptions options;
    QStringList notes;
};

// Reads the arguments, program name first.
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace poll
