// Logging one reply: the window's own log box (Text2 of a real window) against a box whose
// whole text is rewritten for every byte. Both start from a log just under the bound that a
// send click keeps, and each measurement ends when the box has painted the new text.
#include "app/form1.h"
#include "app/logtextbox.h"
#include "bench/benchreport.h"
#include "bench/benchstats.h"
#include "bench/straightforward.h"
#include "bench/windowbench.h"
#include "serial/systemcomm.h"
#include "transaction/logline.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace
{

// Counts the paint events of the widget it filters.
class PaintCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

// Processes events until the log has all its text on screen and has painted it; false after 5 s.
bool waitUntilShown(const LogTextBox &log)
{
    const double deadline = bench::monotonicSeconds() + 5.0;
    while (log.isShowing()) {
        if (bench::monotonicSeconds() > deadline)
            return false;
        QCoreApplication::processEvents();
    }
    return true;
}

// Processes events until the counter has seen a paint after `before` paints; false after 5 s.
bool waitForPaint(const PaintCounter &counter, int before)
{
    const double deadline = bench::monotonicSeconds() + 5.0;
    while (counter.count <= before) {
        if (bench::monotonicSeconds() > deadline)
            return false;
        QCoreApplication::processEvents();
    }
    return true;
}

QByteArray replyOf(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return bytes;
}

// 285 lines of a nine-byte reply: 7980 characters with CR LF, under the 8000 that a send keeps.
QString nearlyFullLog()
{
    QString log;
    for (int i = 0; i < 285; ++i)
        log += QStringLiteral("01 03 04 00 0A 00 0B 9B F6\r\n");
    return log;
}

struct ReferenceRun {
    double milliseconds = 0;
    bool extrapolated = false;
    int bytesDone = 0; // bytes actually logged before the time budget ran out
};

// One reply logged the straightforward way. Once `budgetSeconds` is spent the remaining
// rewrites are not run: their times are extrapolated from a straight line fitted to the
// measured rewrites, time against text length (each rewrite copies and lays out the whole text).
ReferenceRun referenceLog(QPlainTextEdit *box, const PaintCounter &paints, const QString &start,
                          const QByteArray &reply, double budgetSeconds)
{
    const int shown = paints.count;
    box->setPlainText(start);
    waitForPaint(paints, shown);

    QStringList pieces;
    for (qsizetype i = 0; i < reply.size(); ++i) {
        if (i != 0)
            pieces << QStringLiteral(" ");
        pieces << bench::byteHexPadded(static_cast<unsigned char>(reply.at(i)));
    }
    pieces << QStringLiteral("\n");

    std::vector<double> lengths;
    std::vector<double> times;
    double length = double(box->toPlainText().size());
    double spent = 0;
    qsizetype done = 0;
    for (; done < pieces.size() && spent < budgetSeconds; ++done) {
        length += double(pieces.at(done).size());
        const double t0 = bench::monotonicSeconds();
        bench::rewriteAppend(box, pieces.at(done));
        const double took = bench::monotonicSeconds() - t0;
        spent += took;
        lengths.push_back(length);
        times.push_back(took);
    }
    const int before = paints.count;
    const double t0 = bench::monotonicSeconds();
    box->moveCursor(QTextCursor::End);
    box->ensureCursorVisible();
    waitForPaint(paints, before);
    spent += bench::monotonicSeconds() - t0;

    ReferenceRun run;
    run.bytesDone = int((done + 1) / 2);
    if (done < pieces.size()) {
        run.extrapolated = true;
        const bench::LinearFit fit = bench::fitLine(lengths, times);
        for (qsizetype j = done; j < pieces.size(); ++j) {
            length += double(pieces.at(j).size());
            spent += fit.at(length);
        }
    }
    run.milliseconds = spent * 1000.0;
    return run;
}

// The longest time the event loop goes without handling a 2 ms probe timer while `work` runs
// and then until `done` says the work has come to an end (or 30 s have passed), in ms.
double longestStall(const std::function<void()> &work, const std::function<bool()> &done)
{
    double last = bench::monotonicSeconds();
    double longest = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const double now = bench::monotonicSeconds();
        longest = std::max(longest, now - last);
        last = now;
    });
    probe.start(2);
    QCoreApplication::processEvents();
    last = bench::monotonicSeconds();
    work();
    const double deadline = bench::monotonicSeconds() + 30.0;
    while (!done() && bench::monotonicSeconds() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // The last turn's handling counts too.
    QCoreApplication::processEvents();
    longest = std::max(longest, bench::monotonicSeconds() - last);
    return longest * 1000.0;
}

// A reply of a megabyte, as a chattering device delivers it into a long wait at high speed:
// the longest time the window does not answer while its 3 MiB line is logged and shown, against
// the same line put on screen as one block.
void measureMegabyteReply(LogTextBox *log, const PaintCounter &paints, QPlainTextEdit *reference)
{
    const QByteArray reply = replyOf(1 << 20);
    std::vector<double> ours;
    std::vector<double> wholeMs;
    for (int r = 0; r < 3; ++r) {
        log->setText(QString());
        QCoreApplication::processEvents();
        const int before = paints.count;
        const double t0 = bench::monotonicSeconds();
        ours.push_back(longestStall(
            [&] {
                log->appendText(transaction::logLine(reply));
                log->moveCaretToEnd();
            },
            [&] { return !log->isShowing() && paints.count > before; }));
        wholeMs.push_back((bench::monotonicSeconds() - t0) * 1000.0);
    }
    std::vector<double> theirs;
    for (int r = 0; r < 3; ++r) {
        reference->setPlainText(QString());
        QCoreApplication::processEvents();
        theirs.push_back(longestStall(
            [&] {
                QString line = transaction::logLine(reply);
                line.chop(2);
                QTextCursor cursor(reference->document());
                cursor.movePosition(QTextCursor::End);
                cursor.insertText(line + QLatin1Char('\n'));
                reference->moveCursor(QTextCursor::End);
                reference->ensureCursorVisible();
            },
            [] { return true; }));
    }
    const double ourMs = bench::median(ours);
    bench::printRow({"log a 1 MiB reply (3 MiB line): longest time the window does not answer "
                     "(median of 3; all shown after " +
                         bench::duration(bench::median(wholeMs)) + ")",
                     bench::duration(ourMs),
                     bench::duration(bench::median(theirs)) + " (one block)",
                     bench::ratioText(ourMs, bench::median(theirs)), "<= 100 ms",
                     bench::verdictOf(ourMs <= 100.0)});
    log->setText(QString());
}

} // namespace

int main(int argc, char *argv[])
{
    const bench::WindowBenchApplication app(argc, argv); // no linked port: the window finds none

    Form1 window({serial::createSystemComm(), &serial::scanSystemPorts});
    window.show();
    auto *log = window.findChild<LogTextBox *>(QStringLiteral("Text2"));
    if (!log) {
        std::fprintf(stderr, "no Text2 in the window\n");
        return 1;
    }
    PaintCounter ourPaints;
    log->viewport()->installEventFilter(&ourPaints);

    // The reference box looks like Text2: same size, font, wrapping and scroll bars.
    QPlainTextEdit reference;
    reference.setReadOnly(true);
    reference.setUndoRedoEnabled(false);
    reference.setFont(log->font());
    reference.setLineWrapMode(log->lineWrapMode());
    reference.setVerticalScrollBarPolicy(log->verticalScrollBarPolicy());
    reference.setHorizontalScrollBarPolicy(log->horizontalScrollBarPolicy());
    reference.resize(log->size());
    reference.show();
    PaintCounter referencePaints;
    reference.viewport()->installEventFilter(&referencePaints);
    bench::pollingWait(0.3);

    const QString start = nearlyFullLog();
    QString startShown = start;
    startShown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    struct Case {
        int bytes;
        int ourRepetitions;
        int referenceRepetitions;
    };
    const Case cases[] = {{9, 31, 11}, {256, 31, 5}, {4096, 21, 1}, {32767, 11, 1}, {100000, 7, 1}};
    constexpr double kReferenceBudgetSeconds = 3.0;
    for (const Case &c : cases) {
        std::fprintf(stderr, "log %d bytes ...\n", c.bytes);
        const QByteArray reply = replyOf(c.bytes);

        std::vector<double> ours;
        bool painted = true;
        for (int r = 0; r < c.ourRepetitions; ++r) {
            const int shown = ourPaints.count;
            log->setText(start);
            waitForPaint(ourPaints, shown);
            const int before = ourPaints.count;
            const double t0 = bench::monotonicSeconds();
            log->appendText(transaction::logLine(reply));
            log->moveCaretToEnd();
            const bool sliced = log->isShowing();
            painted = waitUntilShown(*log) && waitForPaint(ourPaints, before) && painted;
            if (sliced)
                QCoreApplication::processEvents(); // the paint of the last slice

            ours.push_back((bench::monotonicSeconds() - t0) * 1000.0);
        }

        std::vector<double> theirs;
        ReferenceRun last;
        for (int r = 0; r < c.referenceRepetitions; ++r) {
            last = referenceLog(&reference, referencePaints, startShown, reply,
                                kReferenceBudgetSeconds);
            theirs.push_back(last.milliseconds);
        }

        const double ourMs = bench::median(ours);
        const double theirMs = bench::median(theirs);
        std::string referenceText = bench::duration(theirMs);
        if (last.extrapolated) {
            referenceText += " (est.)";
            bench::printNote(
                "Reference for " + std::to_string(c.bytes) +
                " bytes: " + std::to_string(last.bytesDone) + " bytes logged in " +
                bench::fixed(kReferenceBudgetSeconds, 0) +
                " s; the remaining rewrites estimated from a straight line fitted to rewrite "
                "time against text length.");
        }
        const bool hasTarget = c.bytes == 32767;
        const bool met = painted && ourMs <= 10.0;
        bench::printRow({"log a " + std::to_string(c.bytes) +
                             "-byte reply onto 7980 chars, painted (median of " +
                             std::to_string(c.ourRepetitions) + ")",
                         bench::duration(ourMs) + (painted ? "" : " (not painted)"), referenceText,
                         bench::ratioText(ourMs, theirMs), hasTarget ? "<= 10 ms" : "-",
                         hasTarget ? bench::verdictOf(met)
                                   : (painted ? bench::Verdict::None : bench::Verdict::Missed)});
    }
    std::fprintf(stderr, "log 1 MiB ...\n");
    measureMegabyteReply(log, ourPaints, &reference);
    return 0;
}
