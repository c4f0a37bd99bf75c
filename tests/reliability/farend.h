#pragma once

#include "support/ptyfarend.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>

// The far end of a pseudo-terminal played on the test's own thread: it collects what the
// program writes, cuts it into 8-byte requests and hands each to `onRequest`, which may answer
// at once or schedule bytes for later. Its notifier runs inside the program's waits, so it sees
// a request while the transaction that sent it is still waiting.
class FarEnd : public QObject
{
public:
    FarEnd(int number, const QString &portDirectory)
    {
        m_pty = std::make_unique<PtyFarEnd>();
        if (m_pty->isValid() && m_pty->linkAs(portDirectory, number))
            watch();
    }
    ~FarEnd() override { drop(); }

    bool isValid() const { return m_notifier != nullptr; }
    PtyFarEnd &pty() { return *m_pty; }

    // Called with each complete request of 8 bytes.
    std::function<void(const QByteArray &request)> onRequest;

    // Every byte the program wrote, in order.
    const QByteArray &received() const { return m_received; }
    int requestCount() const { return static_cast<int>(m_received.size() / 8); }

    // Sends bytes now (as a slave device answering).
    void send(const QByteArray &bytes) { m_pty->send(bytes); }
    // Sends bytes after `ms` milliseconds; the timer runs in whatever event loop is running.
    void sendLater(int ms, const QByteArray &bytes)
    {
        QTimer::singleShot(ms, this, [this, bytes] {
            if (m_pty->isValid()) {
                m_pty->send(bytes);
                m_sentLog.append(bytes);
            }
        });
    }
    // What sendLater has actually sent so far.
    const QByteArray &sentLater() const { return m_sentLog; }

    // The device vanishes: the far end closes.
    void drop()
    {
        m_notifier.reset();
        if (m_pty)
            m_pty->drop();
    }

    // Reads whatever is waiting now; the notifier would do the same a moment later.
    void readNow() { readAvailable(); }

private:
    void watch()
    {
        m_notifier = std::make_unique<QSocketNotifier>(m_pty->fd(), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this,
                         [this] { readAvailable(); });
    }

    void readAvailable()
    {
        if (!m_pty->isValid())
            return;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_pty->fd(), buffer, sizeof buffer);
            if (n > 0) {
                m_received.append(buffer, n);
                continue;
            }
            if (n < 0 && errno == EIO) {
                // The device end has no opener: nothing to read until it opens again. Stop
                // listening for now so that the hang-up does not wake the loop over and over.
                m_notifier->setEnabled(false);
                QTimer::singleShot(20, this, [this] {
                    if (m_notifier)
                        m_notifier->setEnabled(true);
                });
            }
            break;
        }
        while (m_received.size() - m_handled >= 8) {
            const QByteArray request = m_received.mid(m_handled, 8);
            m_handled += 8;
            if (onRequest)
                onRequest(request);
        }
    }

    std::unique_ptr<PtyFarEnd> m_pty;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_received;
    qsizetype m_handled = 0;
    QByteArray m_sentLog;
};
