// The TCP serial component against a server played by the test; wirelark-poll's tests connect
// to a port where nothing listens.
#include "serial/tcpserialcomm.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class TestTcpSerialComm : public QObject
{
    Q_OBJECT

private slots:
    void endpointOfText_data();
    void endpointOfText();
    void exchangeAndPeerClose_data();
    void exchangeAndPeerClose();
};

void TestTcpSerialComm::endpointOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: not a TCP far end
    QTest::addColumn<int>("port");
    QTest::newRow("IPv4") << "tcp://127.0.0.1:5020"
                          << "127.0.0.1" << 5020;
    QTest::newRow("name") << "tcp://gateway.local:502"
                          << "gateway.local" << 502;
    QTest::newRow("IPv6") << "tcp://[::1]:65535"
                          << "::1" << 65535;
    QTest::newRow("port 0") << "tcp://127.0.0.1:0"
                            << "" << 0;
    QTest::newRow("port above 16 bits") << "tcp://127.0.0.1:65536"
                                        << "" << 0;
    QTest::newRow("no port") << "tcp://127.0.0.1"
                             << "" << 0;
    QTest::newRow("no host") << "tcp://:502"
                             << "" << 0;
    QTest::newRow("blank") << "tcp://127.0.0.1: 502"
                           << "" << 0;
    QTest::newRow("upper case scheme") << "TCP://127.0.0.1:502"
                                       << "" << 0;
}

void TestTcpSerialComm::endpointOfText()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    const std::optional<serial::TcpEndpoint> endpoint = serial::tcpEndpointOfText(text);
    QCOMPARE(endpoint ? endpoint->host : QString(), host);
    QCOMPARE(endpoint ? int(endpoint->port) : 0, port);
}

void TestTcpSerialComm::exchangeAndPeerClose_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("reply, then close") << QByteArray::fromHex("010304000100026a33");
    QTest::newRow("close without reply") << QByteArray();
}

// What the server sends before it closes is still read; the close is seen once, not as a
// stream of errors, and an open connects again.
void TestTcpSerialComm::exchangeAndPeerClose()
{
    QFETCH(QByteArray, reply);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    serial::TcpSerialComm comm;
    QVERIFY(!comm.setEndpoint(QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort())));
    qint64 told = 0;
    comm.setArrivalHandler([&told](qint64 count) { told += count; });
    QVERIFY(!comm.setPortOpen(true));
    QVERIFY(!comm.setDTREnable(true));
    QVERIFY(server.waitForNewConnection(3000));
    QTcpSocket *peer = server.nextPendingConnection();

    const QByteArray request = QByteArray::fromHex("010300000002c40b");
    QVERIFY(!comm.output(request));
    QVERIFY(QTest::qWaitFor([&] { return peer->bytesAvailable() >= request.size(); }, 3000));
    QCOMPARE(peer->readAll(), request);
    peer->write(reply);
    peer->flush();
    peer->disconnectFromHost();
    QVERIFY(QTest::qWaitFor([&] { return !comm.portOpen(); }, 3000));
    QCOMPARE(told, reply.size());

    QByteArray read;
    serial::CommError error = comm.input(read);
    if (!reply.isEmpty()) {
        QVERIFY(!error);
        QCOMPARE(read, reply);
        error = comm.input(read);
    }
    QCOMPARE(error.number, int(serial::CommError::DeviceLost));
    QVERIFY2(error.message.contains(QLatin1String("the server closed the connection")),
             qPrintable(error.message));
    QCOMPARE(comm.output(request).number, int(serial::CommError::DeviceLost));
    QVERIFY(!comm.setPortOpen(false)); // told already
    QVERIFY(!comm.setPortOpen(true));
    QVERIFY(comm.portOpen());
    QVERIFY(server.waitForNewConnection(3000));
}

QTEST_GUILESS_MAIN(TestTcpSerialComm)
#include "tst_tcpserialcomm.moc"
