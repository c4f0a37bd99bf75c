#include "serial/systemcomm.h"

namespace serial
{

namespace
{

// Scaffolding until the real port lands: keeps properties, opens nothing.
class UnavailableComm : public SerialComm
{
public:
    CommError setCommPort(qint16 port) override
    {
        m_port = port;
        return {};
    }
    qint16 commPort() const override { return m_port; }
    CommError setSettings(const QString &settings) override
    {
        m_settings = settings;
        return {};
    }
    QString settings() const override { return m_settings; }
    CommError setPortOpen(bool open) override
    {
        if (open)
            return CommError::make(CommError::OpenFailed,
                                   QStringLiteral("Serial ports are not available"));
        return {};
    }
    bool portOpen() const override { return false; }
    CommError setDTREnable(bool) override { return {}; }
    CommError setInputMode(qint32) override { return {}; }
    CommError setInBufferCount(qint16) override { return notOpen(); }
    CommError output(const QByteArray &) override { return notOpen(); }
    CommError input(QByteArray &) override { return notOpen(); }

private:
    static CommError notOpen()
    {
        return CommError::make(CommError::NotOpen, QStringLiteral("Port not open"));
    }
    qint16 m_port = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
};

} // namespace

std::unique_ptr<SerialComm> createSystemComm()
{
    return std::make_unique<UnavailableComm>();
}

QList<MappedPort> scanSystemPorts()
{
    return {};
}

} // namespace serial
