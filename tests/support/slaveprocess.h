#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>

// wirelark-slave run as a child process in a given port directory, for the tests and the
// benchmarks. It collects what the simulator prints: the port it linked, and each request and
// reply as hex text. It ends exactly its own process.
class SlaveProcess
{
public:
    SlaveProcess()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                         [this] { readOutput(); });
    }
    ~SlaveProcess() { stop(); }

    // Starts the simulator with XDG_CONFIG_HOME set to configHome and waits until it says which
    // port it serves. False when it did not start or said nothing within five seconds.
    bool start(const QString &configHome, const QStringList &arguments = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        m_process.setProcessEnvironment(env);
        m_lines.clear();
        m_pending.clear();
        m_portName.clear();
        m_process.start(QStringLiteral(WIRELARK_SLAVE_PATH), arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        const QDeadlineTimer deadline(5000);
        while (m_portName.isEmpty() && !deadline.hasExpired() &&
               m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(100); // readyRead collects the lines
        return !m_portName.isEmpty();
    }

    // Stops the simulator as Ctrl-C would, and waits for it.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
        readOutput(); // what it printed last, its totals among it
    }

    // Ends the simulator at once, as a crash or an unplugged device would.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    qint64 processId() const { return m_process.processId(); }
    QString portName() const { return m_portName; } // "Com2"
    qint16 portNumber() const { return m_portName.mid(3).toShort(); }
    QStringList lines() const { return m_lines; }
    QStringList requests() const { return linesAfter(QStringLiteral("request ")); }
    QStringList replies() const { return linesAfter(QStringLiteral("reply ")); }
    // Requests that came while a reply was still on the line, as the simulator logged them.
    qsizetype collisions() const { return linesAfter(QStringLiteral("collision ")).size(); }

private:
    void readOutput()
    {
        m_pending += QString::fromUtf8(m_process.readAllStandardOutput());
        qsizetype end;
        while ((end = m_pending.indexOf(QLatin1Char('\n'))) >= 0) {
            const QString line = m_pending.left(end).trimmed();
            m_pending.remove(0, end + 1);
            m_lines << line;
            static const QRegularExpression serving(QStringLiteral("linked as (Com\\d+)"));
            const QRegularExpressionMatch match = serving.match(line);
            if (m_portName.isEmpty() && match.hasMatch())
                m_portName = match.captured(1);
        }
    }

    // The hex text of each line "HH:MM:SS.mmm <word> <hex>" with the given word.
    QStringList linesAfter(const QString &word) const
    {
        QStringList hex;
        for (const QString &line : m_lines) {
            const qsizetype at = line.indexOf(QLatin1Char(' '));
            if (at > 0 && line.mid(at + 1).startsWith(word))
                hex << line.mid(at + 1 + word.size()).trimmed();
        }
        return hex;
    }

    QProcess m_process;
    QString m_pending;
    QStringList m_lines;
    QString m_portName;
};
