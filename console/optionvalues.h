#pragma once

#include "frame/values.h"
#include "serial/commsettings.h"

#include <QString>
#include <optional>

// The values of options that several programs take, each read by one rule. A wrong value sets
// error to a message that names the option and says what it takes.
namespace console
{

// A number of digits only (no sign, no blanks) in base 10 or 16, from low to high; nothing
// otherwise.
std::optional<qint64> number(const QString &text, qint64 low, qint64 high, int base = 10);

// The port number of --port: "Com5", "com5", "COM5", "Com 5" or "5", 1 to
// serial::kMaxPortNumber.
std::optional<int> portNumber(const QString &text, QString &error);

// The serial port of --port: a device path (any text with a "/"), or a port number as
// portNumber reads it, named "Com<N>" for serial::openPort.
struct SerialPortChoice {
    QString portText;   // "Com5"; empty for a device path
    QString devicePath; // "/dev/ttyUSB0"; empty for a port number
};
// On a wrong text, error says what portNumber says, then that alsoTaken is taken as well.
std::optional<SerialPortChoice>
serialPort(const QString &text, QString &error,
           const QString &alsoTaken = QStringLiteral("A device path such as /dev/ttyUSB0"));

// The line of --speed and --settings ("9600" and "N,8,1"), by the rule of the window's settings
// text (serial::parseSettings).
std::optional<serial::CommSettings> lineSettings(const QString &speed, const QString &framing,
                                                 QString &error);

// A hexadecimal request field of --option: at most width characters, each 0-9, a-f or A-F (the
// characters the window's key filter lets into the field), brought to its width and upper case
// as the window's fields are when they lose focus (frame::Length_str). Empty on error.
QString hexField(const QString &option, const QString &text, qint16 width, QString &error);

// The layout of --type NAME, --word-order big|little and --byte-swap; an empty text takes the
// default (u16, big).
std::optional<frame::ValueLayout> valueLayout(const QString &type, const QString &wordOrder,
                                              bool byteSwap, QString &error);

// A list of slave addresses as "1,2,5-7": each 1 to 247 written in base, ranges low to high, in
// the order given; an address given twice is a mistake.
std::optional<QList<int>> addressList(const QString &text, int base, QString &error);

} // namespace console
