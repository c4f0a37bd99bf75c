// soakrunner PORT SECONDS: the window sends continuously with a wait of 10 ms to the device
// linked as Com<PORT> (the simulator) for SECONDS, then reports transactions, errors and
// resident memory. Every log line is checked as the simulator's reply to the default request:
// 01 03 04, two registers and a correct CRC. Exit status 0 when transactions ran and no warning
// was shown.
#include "app/form1.h"
#include "serial/systemcomm.h"
#include "serial/systemports.h"
#include "tests/support/processmetrics.h"
#include "tests/support/referencecrc.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace
{

// Whether bytes are one whole reply of two registers with a correct CRC.
bool isGoodReply(const QByteArray &bytes)
{
    if (bytes.size() != 9 || !bytes.startsWith(QByteArray::fromHex("010304")))
        return false;
    const quint16 crc = referenceCrc16(bytes.left(7));
    return quint8(bytes[7]) == (crc & 0xFF) && quint8(bytes[8]) == (crc >> 8);
}

// The last line of a log whose text ends with a line end, without it; the log may hold only
// that line, and it may be empty.
QString lastLine(const QString &text)
{
    const QString body = text.chopped(2);
    const qsizetype start = body.lastIndexOf(QLatin1String("\r\n"));
    return start < 0 ? body : body.mid(start + 2);
}

// The replies of a log line: one, or several merged into one line when a reply came after its
// own wait and before the next one's read; empty when the line is anything else.
QList<QByteArray> repliesOfLine(const QString &line)
{
    const QByteArray bytes = QByteArray::fromHex(line.toLatin1());
    if (bytes.isEmpty() || bytes.size() % 9 != 0 || line.size() != bytes.size() * 3 - 1)
        return {};
    QList<QByteArray> replies;
    for (qsizetype at = 0; at < bytes.size(); at += 9) {
        if (!isGoodReply(bytes.mid(at, 9)))
            return {};
        replies << bytes.mid(at, 9);
    }
    return replies;
}

void say(const char *format, auto... values)
{
    std::printf("%s ", qPrintable(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
    std::printf(format, values...);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1"); // as the program itself runs
    QApplication app(argc, argv);
    if (argc != 3) {
        std::printf("usage: soakrunner PORT SECONDS\n");
        return 2;
    }
    const int port = QString::fromLocal8Bit(argv[1]).toInt();
    const qint64 seconds = QString::fromLocal8Bit(argv[2]).toLongLong();

    Form1 form({serial::createSystemComm(), &serial::scanSystemPorts});
    QStringList warnings;
    form.setWarningPresenter([&warnings](const QString &text) {
        warnings << text;
        say("warning: %s", qPrintable(text));
    });
    form.show();
    const auto button = [&form](const char *name) {
        return form.findChild<QPushButton *>(QLatin1String(name));
    };

    qint64 transactions = 0;
    qint64 badLines = 0;
    qint64 emptyLines = 0;
    qint64 mergedLines = 0;
    // The simulator counts the requests it served in register 0, which wraps at 65,536.
    qint64 servedWraps = 0;
    int lastServed = -1;
    auto *log = form.findChild<QPlainTextEdit *>(QStringLiteral("Text2"));
    QObject::connect(log, &QPlainTextEdit::textChanged, [&] {
        const QString text = form.logText();
        if (!text.endsWith(QLatin1String("\r\n")))
            return; // emptied
        const QString line = lastLine(text);
        ++transactions;
        if (line.isEmpty()) {
            ++emptyLines;
            return;
        }
        const QList<QByteArray> replies = repliesOfLine(line);
        if (replies.isEmpty()) {
            ++badLines;
            if (badLines <= 20)
                say("unexpected line: %s", qPrintable(line));
            return;
        }
        if (replies.size() > 1)
            ++mergedLines;
        const int served = quint8(replies.last()[3]) << 8 | quint8(replies.last()[4]);
        if (served < lastServed)
            ++servedWraps;
        lastServed = served;
    });

    form.findChild<QComboBox *>(QStringLiteral("cboComPort"))
        ->setEditText(QStringLiteral("Com%1").arg(port));
    form.findChild<QLineEdit *>(QStringLiteral("txtdelay"))->setText(QStringLiteral("10"));
    button("cmdopen")->click();
    if (!form.comm().portOpen()) {
        say("Com%d did not open", port);
        return 1;
    }

    const qint64 rssStart = processmetrics::residentKilobytes();
    const double cpuStart = processmetrics::cpuMilliseconds();
    say("sending continuously to Com%d with a wait of 10 ms for %lld s; resident memory %lld kB",
        port, seconds, rssStart);
    QElapsedTimer clock;
    clock.start();
    button("cont_on")->click();

    QTimer report;
    report.setInterval(seconds >= 600 ? 60000 : 10000);
    qint64 rssWarm = -1; // at the first report: fonts, glyph caches and the log box in use
    QObject::connect(&report, &QTimer::timeout, [&] {
        if (rssWarm < 0)
            rssWarm = processmetrics::residentKilobytes();
        say("%lld s: %lld transactions, %lld empty, %lld merged, %lld unexpected, %lld warnings, "
            "resident %lld kB",
            clock.elapsed() / 1000, transactions, emptyLines, mergedLines, badLines,
            qint64(warnings.size()), processmetrics::residentKilobytes());
    });
    report.start();
    QTimer::singleShot(std::chrono::seconds(seconds), &app, [&] {
        button("cont_off")->click();
        app.quit();
    });
    app.exec();
    // The exchange running at the stop ends within its wait.
    QElapsedTimer settle;
    settle.start();
    while (form.txBusy() != 0 && settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const qint64 ms = clock.elapsed();
    const double cpuMs = processmetrics::cpuMilliseconds() - cpuStart;
    const qint64 rssEnd = processmetrics::residentKilobytes();
    const qint64 served = lastServed < 0 ? 0 : servedWraps * 65536 + lastServed;
    if (form.comm().portOpen())
        button("cmdclose")->click();

    std::printf("\nSoak result\n");
    std::printf("  duration             %.1f s\n", double(ms) / 1000.0);
    std::printf("  transactions         %lld (%.1f per second)\n", transactions,
                double(transactions) * 1000.0 / double(ms));
    std::printf("  requests served      %lld (the simulator's own count, at the last reply)\n",
                served);
    std::printf("  errors               %lld (no reply %lld, unexpected reply %lld, warnings "
                "%lld)\n",
                emptyLines + badLines + warnings.size(), emptyLines, badLines,
                qint64(warnings.size()));
    std::printf("  merged lines         %lld (a reply after its wait, logged with the next)\n",
                mergedLines);
    std::printf("  resident memory      %lld kB at the start, %lld kB after the first %lld s, "
                "%lld kB at the end\n",
                rssStart, rssWarm, qint64(report.interval() / 1000), rssEnd);
    std::printf("  CPU                  %.1f %% of one core\n", cpuMs * 100.0 / double(ms));
    std::fflush(stdout);
    // A reply that missed its 10 ms is counted, not failed: the wait is the only end of a reply.
    return transactions > 0 && warnings.isEmpty() ? 0 : 1;
}
