#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

// A pseudo-terminal whose device end the program under test opens while the test plays the far
// end (the master). Dropping the far end is what unplugging an adapter looks like to the device
// end: reads fail with EIO and the port must be closed.
class PtyFarEnd
{
public:
    PtyFarEnd()
    {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
            m_master = -1;
            return;
        }
        ::close(slave);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_path = QString::fromLocal8Bit(name);
    }
    ~PtyFarEnd() { drop(); }
    PtyFarEnd(const PtyFarEnd &) = delete;
    PtyFarEnd &operator=(const PtyFarEnd &) = delete;

    bool isValid() const { return m_master >= 0; }
    const QString &devicePath() const { return m_path; }
    int fd() const { return m_master; }

    // Links the device end as "com<number>" in directory, replacing an older link.
    bool linkAs(const QString &directory, int number) const
    {
        const QString name = directory + QStringLiteral("/com%1").arg(number);
        QFile::remove(name);
        return QFile::link(m_path, name);
    }

    // The device vanishes.
    void drop()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // Writes all of bytes, waiting for room when the terminal's buffer is full.
    bool send(const QByteArray &bytes) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
        }
        return true;
    }

    // What the device end has written, collected for at most `milliseconds`, returning early
    // once `atLeast` bytes are in (0: always the full time). Runs no event loop.
    QByteArray receive(int milliseconds, qsizetype atLeast = 0) const
    {
        QByteArray bytes;
        const QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired() && (atLeast == 0 || bytes.size() < atLeast)) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                break;
            if (!(p.revents & POLLIN))
                break; // hung up: nothing more can come
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, n);
        }
        return bytes;
    }

    // Everything the device end has written so far, without waiting.
    QByteArray takeAll() const
    {
        QByteArray bytes;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, n);
        return bytes;
    }

private:
    int m_master = -1;
    QString m_path;
};
