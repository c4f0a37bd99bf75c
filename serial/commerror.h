#pragma once

#include <QString>

namespace serial
{

// What a failed operation of the serial component reports: a number and a message text
// meant for the operator. Number 0 means success.
struct CommError {
    enum Number : int {
        None = 0,
        BadSettings = 1,      // settings text malformed
        BadPortNumber = 2,    // port number out of range
        NoSuchPort = 3,       // the number maps to no device
        PermissionDenied = 4, // the device exists but may not be opened
        PortInUse = 5,        // another process holds the device
        NotATerminal = 6,     // the path is no serial device; nothing was written to it
        OpenFailed = 7,       // any other refusal at open (rate or framing refused, ...)
        NotOpen = 8,          // a read or write on a closed port
        AlreadyOpen = 9,      // a setting that cannot change while open
        DeviceLost = 10,      // the device vanished or failed while open; the port was closed
        WriteFailed = 11,     // not all bytes could be handed to the operating system
        BadConversion = 12,   // a text that is not a number where a number is needed
        BadValue = 13,        // a property value the component does not take
        ReadFailed = 14,      // received bytes could not be read or discarded
        NoRs485 = 15,         // the driver refused RS-485 mode; the port was not opened
    };

    int number = None;
    QString message;

    bool failed() const { return number != None; }
    explicit operator bool() const { return failed(); }

    static CommError ok() { return {}; }
    static CommError make(int n, QString text) { return {n, std::move(text)}; }
};

} // namespace serial
