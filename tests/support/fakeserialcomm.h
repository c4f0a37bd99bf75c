#pragma once

#include "serial/serialcomm.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <utility>

// A scriptable serial component. It records every call as a line in `calls`, holds the
// properties it is given (any settings text; `line` follows the last one that parses), and
// answers reads from `received`. Each operation can be made to
// fail by setting its entry in `failures`. Bytes that "arrive" through deliver() are added to
// `received` and told to the arrival handler, as a real port does while the event loop runs.
class FakeSerialComm : public serial::SerialComm
{
public:
    struct Failures {
        serial::CommError setCommPort, setSettings, open, close, setInBufferCount, output, input;
    };

    QStringList calls;
    Failures failures;
    QByteArray received;       // bytes waiting to be read
    QList<QByteArray> written; // every output, in order
    bool open = false;
    qint16 port = 1;
    QString settingsText = QStringLiteral("9600,N,8,1");
    serial::CommSettings line;
    bool dtr = true;
    qint32 inputMode = 0;
    // Called after each output; a test can queue a reply here.
    std::function<void(const QByteArray &)> onOutput;
    ArrivalHandler arrivalHandler;
    std::chrono::microseconds latency{}; // what deliveryLatency() answers

    serial::CommError setCommPort(qint16 p) override
    {
        calls << QStringLiteral("CommPort=%1").arg(p);
        if (failures.setCommPort)
            return failures.setCommPort;
        port = p;
        return {};
    }
    qint16 commPort() const override { return port; }

    serial::CommError setSettings(const QString &s) override
    {
        calls << QStringLiteral("Settings=%1").arg(s);
        if (failures.setSettings)
            return failures.setSettings;
        settingsText = s;
        serial::parseSettings(s, line);
        return {};
    }
    QString settings() const override { return settingsText; }
    serial::CommSettings lineSettings() const override { return line; }

    serial::CommError setPortOpen(bool o) override
    {
        calls << QStringLiteral("PortOpen=%1").arg(o ? "true" : "false");
        if (o && failures.open)
            return failures.open;
        if (!o && failures.close)
            return failures.close;
        if (!o && !open)
            return notOpen();
        open = o;
        return {};
    }
    bool portOpen() const override { return open; }

    serial::CommError setDTREnable(bool e) override
    {
        calls << QStringLiteral("DTREnable=%1").arg(e ? "true" : "false");
        dtr = e;
        return {};
    }
    serial::CommError setInputMode(qint32 m) override
    {
        calls << QStringLiteral("InputMode=%1").arg(m);
        inputMode = m;
        return {};
    }

    serial::CommError setInBufferCount(qint16 c) override
    {
        calls << QStringLiteral("InBufferCount=%1").arg(c);
        if (failures.setInBufferCount)
            return failures.setInBufferCount;
        if (!open)
            return notOpen();
        if (c == 0)
            received.clear();
        return {};
    }

    serial::CommError output(const QByteArray &bytes) override
    {
        calls << QStringLiteral("Output=%1").arg(QString::fromLatin1(bytes.toHex(' ').toUpper()));
        if (failures.output)
            return failures.output;
        if (!open)
            return notOpen();
        written << bytes;
        if (onOutput)
            onOutput(bytes);
        return {};
    }

    std::chrono::microseconds deliveryLatency() const override { return latency; }

    void setArrivalHandler(ArrivalHandler handler) override { arrivalHandler = std::move(handler); }

    // Bytes arrive on the line now.
    void deliver(const QByteArray &bytes)
    {
        received += bytes;
        if (arrivalHandler && !bytes.isEmpty())
            arrivalHandler(bytes.size());
    }

    // Bytes that have reached the port unseen, until collectArrivals() takes them in.
    QByteArray unseen;
    void collectArrivals() override
    {
        if (open)
            deliver(std::exchange(unseen, {}));
    }

    serial::CommError input(QByteArray &bytes) override
    {
        calls << QStringLiteral("Input");
        if (failures.input)
            return failures.input;
        if (!open)
            return notOpen();
        bytes = received;
        received.clear();
        return {};
    }

private:
    static serial::CommError notOpen()
    {
        return serial::CommError::make(serial::CommError::NotOpen, QStringLiteral("Port not open"));
    }
};
