#include "capture/capturewriter.h"

#include "support/referencecrc.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using capture::CaptureWriter;
using namespace std::chrono;

// 2024-01-02 03:04:05 UTC; record i is stamped i * 21.354 ms later.
static const system_clock::time_point kStart{seconds(1704164645)};

static void writeAll(CaptureWriter &writer, const QList<QByteArray> &frames)
{
    for (qsizetype i = 0; i < frames.size(); ++i)
        QVERIFY(writer.write(frames[i], kStart + microseconds(21354 * i)) && writer.flush());
}

static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class TestCaptureWriter : public QObject
{
    Q_OBJECT

private slots:
    void fixture_data();
    void fixture();
    void longFrameCut();
    void failure_data();
    void failure();
};

void TestCaptureWriter::fixture_data()
{
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QString>("fixture");
    // Little-endian, as libpcap writes on this host. Decoded by tshark: CRC status (1: good),
    // direction.
    QTest::addColumn<QStringList>("decoded");
    const auto pair = [](const char *a, const char *b) {
        return QList{withReferenceCrc(a), withReferenceCrc(b)};
    };
    const QStringList exchange{"1 Query", "1 Response"};
    QTest::newRow("no exchange") << QList<QByteArray>{} << "empty.pcap" << QStringList{};
    QTest::newRow("read") << pair("010300000002", "010304000A000B") << "read.pcap" << exchange;
    QTest::newRow("exception") << pair("010300640001", "018302") << "exception.pcap" << exchange;
    // The reply to a write repeats the request: the dissector cannot tell which is which.
    QTest::newRow("write single register") << pair("010600010003", "010600010003") << "write.pcap"
                                           << QStringList{"1 unknown", "1 unknown"};
}

void TestCaptureWriter::fixture()
{
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QString, fixture);
    QFETCH(QStringList, decoded);
    QTemporaryDir dir;
    const QString path = dir.filePath(fixture);
    {
        const auto writer = CaptureWriter::open(path, nullptr);
        QVERIFY(writer);
        writeAll(*writer, frames);
    }
    QCOMPARE(contents(path).toHex(' '),
             contents(QStringLiteral(WIRELARK_CAPTURE_FIXTURES "/") + fixture).toHex(' '));

    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        QSKIP("tshark is not installed: the decoding is not checked");
    QProcess run;
    run.start(tshark, {"-r", path, "-o", "mbrtu.crc_verification:TRUE", "-T", "fields", "-e",
                       "mbrtu.crc16.status", "-e", "_ws.col.Info"});
    QVERIFY(run.waitForFinished(60000));
    QStringList lines;
    for (const QString &line : QString::fromUtf8(run.readAllStandardOutput()).split('\n'))
        if (!line.isEmpty())
            lines << line.simplified().section(' ', 0, 1).remove(':');
    QCOMPARE(lines, decoded);
}

void TestCaptureWriter::longFrameCut()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.pcap"));
    {
        const auto writer = CaptureWriter::open(path, nullptr);
        QVERIFY(writer && writer->write(QByteArray(300000, '\x01'), kStart));
    }
    // File header, record header, the record cut to the snapshot length; its length stays.
    const QByteArray bytes = contents(path);
    QCOMPARE(bytes.size(), 24 + 16 + CaptureWriter::kSnapLength);
    QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 24 + 12), 300016u);
}

void TestCaptureWriter::failure_data()
{
    QTest::addColumn<QString>("path"); // relative paths lie in a fresh folder
    QTest::addColumn<int>("kept");     // records saved before the failure; -1: open() refuses
    QTest::addColumn<QString>("error");
    QTest::newRow("missing folder")
        << "no/c.pcap" << -1 << "/no/c.pcap: No such file or directory. Create the folder first";
    QTest::newRow("unwritable folder") << "/sys/c.pcap" << -1
                                       << "Cannot create the capture file /sys/c.pcap: Permission "
                                          "denied. Choose a folder you may write to.";
    QTest::newRow("full disk") << "/dev/full" << -1
                               << "Cannot write the capture file /dev/full: No space left on "
                                  "device. Free some space or capture to another disk.";
    QTest::newRow("standard output, reader gone")
        << "-" << 2
        << "Writing the capture to standard output failed: Broken pipe. The first 2 records are "
           "kept; nothing more is written. The program that read the capture has ended.";
    QTest::newRow("file size limit") << "c.pcap" << 3 << "File too large. The first 3 records";
}

void TestCaptureWriter::failure()
{
    QFETCH(QString, path);
    QFETCH(int, kept);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString full = path.startsWith(u'/') || path == "-" ? path : dir.filePath(path);
    const QByteArray frame = withReferenceCrc("010300000002");
    // File header; per record its header, the tags and the frame.
    const qint64 fileSize = 24 + kept * (16 + 16 + frame.size());
    // The default action of SIGPIPE ends the process: the writer must keep it from happening.
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto restore = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &saved); });
    rlimit limit{rlim_t(fileSize + 20), saved.rlim_max};
    int ends[2] = {-1, -1};
    const int out = dup(STDOUT_FILENO);
    if (path == "-")
        QVERIFY(pipe(ends) == 0 && dup2(ends[1], STDOUT_FILENO) >= 0 && ::close(ends[1]) == 0);
    else if (kept > 0)
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    QString text;
    const auto writer = CaptureWriter::open(full, &text);
    dup2(out, STDOUT_FILENO);
    ::close(out);
    if (writer) {
        writeAll(*writer, QList<QByteArray>(kept, frame));
        ::close(ends[0]);
        QVERIFY(!(writer->write(frame, kStart) && writer->flush()));
        QVERIFY(!writer->write(frame, kStart) && !writer->flush());
        QCOMPARE(writer->savedRecords(), kept);
        text = writer->errorText();
    }
    QCOMPARE(!writer, kept < 0);
    QVERIFY2(text.contains(error), qPrintable(text));
    if (writer && path != "-")
        QCOMPARE(QFileInfo(full).size(), fileSize);
}

QTEST_GUILESS_MAIN(TestCaptureWriter)
#include "tst_capturewriter.moc"
