// Continuous sending against a simulator that keeps wire time: the real window with the real
// serial component over a pseudo-terminal, at 115200 and at 9600 baud, N,8,1, with waits of 10,
// 20 and 100 ms. Ours holds each request until the line is silent; the reference is the same
// window with that rule switched off. Counted: exchanges per second, requests that the simulator
// saw arrive while its reply was still on the line (collisions), and replies whole in the wait.
#include "app/form1.h"
#include "bench/benchreport.h"
#include "bench/benchstats.h"
#include "bench/windowbench.h"
#include "serial/commsettings.h"
#include "serial/linetiming.h"
#include "serial/systemcomm.h"
#include "serial/systemports.h"
#include "tests/support/slaveprocess.h"
#include "transaction/verdict.h"

#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace
{

constexpr double kRunSeconds = 4.0;

void runFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts the requests written and the replies read whole within their wait.
class Counter : public transaction::ExchangeObserver
{
public:
    int requests = 0;
    int replies = 0;
    int whole = 0;
    frame::RequestFrame request{};

    void requestWritten(const QByteArray &, transaction::Clock::time_point) override { ++requests; }
    void replyRead(const QByteArray &reply, const transaction::ExchangeResult &result) override
    {
        ++replies;
        const transaction::Verdict verdict =
            transaction::judgeReply(request, reply, result.times, serial::CommSettings{});
        whole += verdict.valid ? 1 : 0;
    }
};

struct Figures {
    double perSecond = 0;
    qsizetype collisions = 0;
    double wholeShare = 0;
    int requests = 0;
};

std::string figuresText(const Figures &f)
{
    return bench::fixed(f.perSecond, 1) + "/s, " + std::to_string(f.collisions) + " collisions, " +
           bench::fixed(f.wholeShare * 100, 0) + " % whole";
}

} // namespace

int main(int argc, char *argv[])
{
    const bench::WindowBenchApplication app(argc, argv);

    Counter counter;
    QStringList warnings;
    Form1 form({serial::createSystemComm(), &serial::scanSystemPorts, &counter});
    form.setWarningPresenter([&warnings](const QString &text) { warnings << text; });
    form.show();
    counter.request = form.txFrame();
    const auto button = [&form](const char *name) {
        return form.findChild<QPushButton *>(QLatin1String(name));
    };

    for (const char *speed : {"115200", "9600"}) {
        SlaveProcess slave;
        if (!slave.start(app.configHome(), {"--quiet", "--speed", speed, "--settings", "N,8,1"})) {
            bench::printRow({"paced simulator", "not measured: wirelark-slave did not start", "-",
                             "-", "-", bench::Verdict::Missed});
            return 1;
        }
        form.findChild<QComboBox *>(QStringLiteral("cboComPort"))->setEditText(slave.portName());
        form.findChild<QComboBox *>(QStringLiteral("cbospeed"))
            ->setEditText(QString::fromLatin1(speed));
        button("cmdopen")->click();
        if (!form.comm().portOpen()) {
            bench::printRow({"paced simulator", "not measured: " + warnings.join(' ').toStdString(),
                             "-", "-", "-", bench::Verdict::Missed});
            return 1;
        }
        serial::CommSettings line;
        serial::parseSettings(QStringLiteral("%1,N,8,1").arg(speed), line);
        const auto ms = [](std::chrono::nanoseconds t) {
            return double(t.count()) / 1e6;
        };
        // The simulator takes the request's 8 characters at line speed from the write on,
        // answers after the frame gap and 1 ms of turnaround, and paces its 9 bytes out.
        const double replyEnds = ms(serial::charactersTime(line, 8)) + ms(serial::frameGap(line)) +
                                 1.0 + ms(serial::charactersTime(line, 9));
        bench::printNote(std::string("At ") + speed + " N,8,1 the default request and its reply " +
                         "take " + bench::fixed(ms(serial::charactersTime(line, 17)), 1) +
                         " ms on the wire; here the reply ends " + bench::fixed(replyEnds, 1) +
                         " ms after the write (8 characters, frame gap, 1 ms turnaround, 9 " +
                         "characters). A shorter wait cannot hold it whole, and the next request " +
                         "then meets it on the line whatever the master does: that share is " +
                         "physics, and such rows are for the record.");

        for (const int waitMs : {10, 20, 100}) {
            Figures figures[2];
            for (const bool rule : {true, false}) {
                std::fprintf(stderr, "%s baud, txtdelay %d, silence rule %s ...\n", speed, waitMs,
                             rule ? "on" : "off");
                form.exchange().setSilenceRule(rule);
                form.findChild<QLineEdit *>(QStringLiteral("txtdelay"))
                    ->setText(QString::number(waitMs));
                runFor(0.3); // the line falls silent
                counter.requests = counter.replies = counter.whole = 0;
                const qsizetype collisionsBefore = slave.collisions();
                const double start = bench::monotonicSeconds();
                button("cont_on")->click();
                runFor(kRunSeconds);
                button("cont_off")->click();
                const double seconds = bench::monotonicSeconds() - start;
                runFor(0.3); // the last exchange ends, the simulator reports
                Figures &f = figures[rule ? 0 : 1];
                f.requests = counter.requests;
                f.perSecond = counter.requests / seconds;
                f.collisions = slave.collisions() - collisionsBefore;
                f.wholeShare = counter.replies > 0 ? double(counter.whole) / counter.replies : 0;
            }
            bench::printRow(
                {std::string("paced ") + speed + " N,8,1, continuous, txtdelay " +
                     std::to_string(waitMs) + ", " + bench::fixed(kRunSeconds, 0) +
                     " s (ours: silence rule; reference: without it)",
                 figuresText(figures[0]), figuresText(figures[1]),
                 bench::ratioText(figures[0].perSecond, figures[1].perSecond),
                 waitMs > replyEnds ? "0 collisions" : "- (for the record: the wait ends first)",
                 waitMs > replyEnds
                     ? bench::verdictOf(figures[0].collisions == 0 && warnings.isEmpty())
                     : bench::Verdict::None});
        }
        form.exchange().setSilenceRule(true);
        button("cmdclose")->click();
        slave.stop();
    }
    return 0;
}
