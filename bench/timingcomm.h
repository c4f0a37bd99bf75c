#pragma once

#include "serial/serialcomm.h"

#include <memory>
#include <vector>

namespace bench
{

// Passes every call on to the serial component it wraps, and notes when each emptying of the
// receive buffer, each write and each read began and ended, and how many reads returned bytes.
// Adds no waiting of its own.
class TimingComm : public serial::SerialComm
{
public:
    explicit TimingComm(std::unique_ptr<serial::SerialComm> inner) : m_inner(std::move(inner)) {}

    serial::CommError setCommPort(qint16 port) override { return m_inner->setCommPort(port); }
    qint16 commPort() const override { return m_inner->commPort(); }
    serial::CommError setSettings(const QString &settings) override
    {
        return m_inner->setSettings(settings);
    }
    QString settings() const override { return m_inner->settings(); }
    serial::CommSettings lineSettings() const override { return m_inner->lineSettings(); }
    serial::CommError setPortOpen(bool open) override { return m_inner->setPortOpen(open); }
    bool portOpen() const override { return m_inner->portOpen(); }
    serial::CommError setDTREnable(bool enable) override { return m_inner->setDTREnable(enable); }
    serial::CommError setInputMode(qint32 mode) override { return m_inner->setInputMode(mode); }
    serial::CommError setInBufferCount(qint16 count) override;
    serial::CommError output(const QByteArray &bytes) override;
    serial::CommError input(QByteArray &bytes) override;
    void setArrivalHandler(ArrivalHandler handler) override
    {
        m_inner->setArrivalHandler(std::move(handler));
    }
    void collectArrivals() override { m_inner->collectArrivals(); }

    // Starts a new record: forgets the times and counts noted so far.
    void reset();
    // Monotonic seconds at which a call began and ended.
    struct Span {
        double start = 0;
        double end = 0;
    };
    const std::vector<Span> &clears() const { return m_clears; }
    const std::vector<Span> &outputs() const { return m_outputs; }
    const std::vector<Span> &inputs() const { return m_inputs; }
    int repliesRead() const { return m_repliesRead; }
    int failures() const { return m_failures; }

private:
    std::unique_ptr<serial::SerialComm> m_inner;
    std::vector<Span> m_clears;
    std::vector<Span> m_outputs;
    std::vector<Span> m_inputs;
    int m_repliesRead = 0;
    int m_failures = 0;
};

} // namespace bench
