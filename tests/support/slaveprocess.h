#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>

#include <csignal>

// wirelark-slave run as a child process in a given port directory, for the tests and the
// benchmarks. It collects what the simulator prints: the port it linked, and each request and
// reply as hex text. It ends exactly its own process, through its process id.
class SlaveProcess
{
public:
    SlaveProcess()
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                         [this] { readOutput(); });
    }
    ~SlaveProcess() { stop(); }
    SlaveProcess(const SlaveProcess &) = delete;
    SlaveProcess &operator=(const SlaveProcess &) = delete;

    // Starts the simulator with XDG_CONFIG_HOME set to configHome and waits until it has said
    // where it serves: its port, its TCP port with --tcp (none with --no-pty), its tap with
    // --tap. False when it did not start or said less within ten seconds.
    bool start(const QString &configHome, const QStringList &arguments = {})
    {
        launch(configHome, arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        const auto announced = [&] {
            return m_portName.isEmpty() != !arguments.contains(QStringLiteral("--no-pty")) &&
                   (m_tcpPort == 0) != arguments.contains(QStringLiteral("--tcp")) &&
                   m_tapLinkPath.isEmpty() != arguments.contains(QStringLiteral("--tap"));
        };
        const QDeadlineTimer deadline(10000);
        while (!announced() && !deadline.hasExpired() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(100); // readyRead collects the lines
        return announced();
    }

    // Runs the simulator to its end (a command line it refuses, --help): its exit code, -1 when
    // it did not end on its own within five seconds.
    int runToEnd(const QString &configHome, const QStringList &arguments)
    {
        launch(configHome, arguments);
        if (!m_process.waitForFinished(5000) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        readOutput();
        return m_process.exitCode();
    }

    // The first line printed so far, or arriving within timeoutMs, that matches pattern.
    QRegularExpressionMatch waitForLine(const QRegularExpression &pattern, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (qsizetype checked = 0;;) {
            for (; checked < m_lines.size(); ++checked) {
                QRegularExpressionMatch match = pattern.match(m_lines.at(checked));
                if (match.hasMatch())
                    return match;
            }
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return {};
            m_process.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 100)));
        }
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

    // Sends signal to the simulator and waits for its end: its exit code, -1 when it did not end
    // normally within five seconds.
    int stopWith(int signal)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        if (!m_process.waitForFinished(5000) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        readOutput();
        return m_process.exitCode();
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
    QString devicePath() const { return m_devicePath; }       // the pseudo-terminal it serves
    QString linkPath() const { return m_linkPath; }           // the link comN to it
    quint16 tcpPort() const { return m_tcpPort; }             // with --tcp, on 127.0.0.1
    QString tapDevicePath() const { return m_tapDevicePath; } // with --tap
    QString tapLinkPath() const { return m_tapLinkPath; }
    QStringList lines() const { return m_lines; }
    // Everything printed on standard output so far, as printed.
    QString output() const { return m_output; }
    QString errorOutput() { return QString::fromUtf8(m_process.readAllStandardError()); }
    QStringList requests() const { return linesAfter(QStringLiteral("request ")); }
    QStringList replies() const { return linesAfter(QStringLiteral("reply ")); }
    // Requests that came while a reply was still on the line, as the simulator logged them.
    qsizetype collisions() const { return linesAfter(QStringLiteral("collision ")).size(); }

private:
    void launch(const QString &configHome, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        m_process.setProcessEnvironment(env);
        m_output.clear();
        m_lines.clear();
        m_pending.clear();
        m_portName.clear();
        m_tcpPort = 0;
        m_tapLinkPath.clear();
        m_process.start(QStringLiteral(WIRELARK_SLAVE_PATH), arguments);
    }

    void readOutput()
    {
        const QString text = QString::fromUtf8(m_process.readAllStandardOutput());
        m_output += text;
        m_pending += text;
        qsizetype end;
        while ((end = m_pending.indexOf(QLatin1Char('\n'))) >= 0) {
            const QString line = m_pending.left(end).trimmed();
            m_pending.remove(0, end + 1);
            m_lines << line;
            static const QRegularExpression serving(
                QStringLiteral(R"(^Serving .+ on (/\S+), linked as (Com\d+) \((.+)\)$)"));
            const QRegularExpressionMatch match = serving.match(line);
            if (m_portName.isEmpty() && match.hasMatch()) {
                m_devicePath = match.captured(1);
                m_portName = match.captured(2);
                m_linkPath = match.captured(3);
            }
            static const QRegularExpression tcp(QStringLiteral(
                R"(^Serving .+ on 127\.0\.0\.1:(\d+), RTU over TCP, one client at a time$)"));
            if (const QRegularExpressionMatch served = tcp.match(line); served.hasMatch())
                m_tcpPort = served.captured(1).toUShort();
            static const QRegularExpression tap(
                QStringLiteral(R"(^Tap on (\S+), linked as (.+)$)"));
            if (const QRegularExpressionMatch tapped = tap.match(line); tapped.hasMatch()) {
                m_tapDevicePath = tapped.captured(1);
                m_tapLinkPath = tapped.captured(2);
            }
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
    QString m_output;
    QString m_pending;
    QStringList m_lines;
    QString m_portName;
    QString m_devicePath;
    QString m_linkPath;
    quint16 m_tcpPort = 0;
    QString m_tapDevicePath;
    QString m_tapLinkPath;
};
