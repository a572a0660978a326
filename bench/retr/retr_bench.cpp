// Streamed RETR from a local Dovecot: our control against curl's POP3 client and against the
// floor (retr_floor: plain recv/write of the same reply, no framing), in the same run, in turn.
// Prints the median ratios of wall times and our peak resident memory, for 10 MB, 100 MB, 100 MB
// over TLS (curl with --cacert on pop3s) and one 1 GB message (memory flat whatever the size).
// RETR_BENCH_WRAP="strace -c" (any command words) runs our client under that command, for a
// profile of the same run; RETR_BENCH_ONLY=100tls (a size, "tls" for the TLS row) runs one row.
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

struct Row {
    qint64 megabytes;
    bool tls;
    int pairs; // 0: the number given on the command line
};

struct Measured {
    double seconds = 0;
    long peakRssKiB = 0; // as the child reports it ("peak_rss_kib N" on standard output)
    int status = -1;
};

// Both clients start the same way, so start-up costs compare fairly.
Measured runChild(const QStringList& command)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(command.first(), command.mid(1));
    process.waitForFinished(-1);
    Measured result;
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QByteArray out = process.readAllStandardOutput();
    const qsizetype at = out.indexOf("peak_rss_kib ");
    if (at >= 0) {
        result.peakRssKiB = out.mid(at + 13).trimmed().toLong();
    }
    return result;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Series {
    QList<double> seconds;
    long peakKiB = 0;
    int failures = 0;

    void add(const Measured& m)
    {
        seconds.append(m.seconds);
        peakKiB = std::max(peakKiB, m.peakRssKiB);
        failures += m.status != 0;
    }
    double median() const { return ::median(seconds); }
};

// The median of the pairwise ratios a[i] / b[i]: each pair ran back to back, under the same load.
double medianRatio(const Series& a, const Series& b)
{
    QList<double> ratios;
    for (qsizetype i = 0; i < a.seconds.size(); ++i) {
        ratios.append(a.seconds[i] / b.seconds[i]);
    }
    return median(ratios);
}

QStringList wrapped(QStringList command)
{
    const QString wrap = qEnvironmentVariable("RETR_BENCH_WRAP");
    return wrap.split(QLatin1Char(' '), Qt::SkipEmptyParts) + command;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString binDir = QCoreApplication::applicationDirPath();
    const QString fixture = QStringLiteral(VORLANE_DOVECOT_FIXTURE_SCRIPT);
    QTemporaryDir work;
    const QString state = work.filePath(QStringLiteral("dovecot"));
    QDir().mkpath(work.path());
    QFile::setPermissions(work.path(), QFile::Permissions(0x7755));
    if (runChild({fixture, QStringLiteral("start"), state, QStringLiteral("127.0.0.1"),
                  QStringLiteral("0"), QStringLiteral("0")})
            .status != 0) {
        std::fprintf(stderr, "retr_bench: the Dovecot fixture did not start\n");
        return 2;
    }
    const dovecot::DovecotServer server(state);
    const int pairs = argc > 1 ? std::atoi(argv[1]) : 5;
    int failures = 0;
    const QString only = qEnvironmentVariable("RETR_BENCH_ONLY"); // "100", "100tls", ...
    for (const Row row :
         {Row{10, false, 0}, Row{100, false, 0}, Row{100, true, 0}, Row{1024, false, 1}}) {
        const qint64 megabytes = row.megabytes;
        if (!only.isEmpty() && only != QString::number(megabytes) + (row.tls ? "tls" : "")) {
            continue;
        }
        const int rowPairs = row.pairs > 0 ? row.pairs : pairs;
        const dovecot::Mailbox box = server.createMailbox(
            QStringLiteral("bench%1%2").arg(megabytes).arg(row.tls ? "tls" : ""));
        box.addMessage(dovecot::makeMessageOfSize(megabytes * 1024 * 1024, 9));
        const QString ours = work.filePath(QStringLiteral("ours.txt"));
        const QString theirs = work.filePath(QStringLiteral("curl.txt"));
        const quint16 port = row.tls ? server.tlsPort() : server.port();
        QStringList client = {binDir + QStringLiteral("/retr_client"),
                              server.address(),
                              QString::number(port),
                              box.user(),
                              box.password(),
                              ours};
        QStringList floor = {binDir + QStringLiteral("/retr_floor"),
                             server.address(),
                             QString::number(port),
                             box.user(),
                             box.password(),
                             theirs};
        QStringList curl = {QStringLiteral("curl"), QStringLiteral("-s")};
        if (row.tls) {
            client << QStringLiteral("2") << server.caFile();
            floor << server.caFile();
            curl << QStringLiteral("--cacert") << server.caFile();
        }
        curl << QStringLiteral("%1://%2:%3@%4:%5/1")
                    .arg(row.tls ? "pop3s" : "pop3", box.user(), box.password(), server.address())
                    .arg(port)
             << QStringLiteral("-o") << theirs;
        Series oursSeries;
        Series curlSeries;
        Series floorSeries;
        for (int i = 0; i < rowPairs; ++i) {
            oursSeries.add(runChild(wrapped(client)));
            curlSeries.add(runChild(curl));
            floorSeries.add(runChild(floor));
        }
        failures += oursSeries.failures + curlSeries.failures + floorSeries.failures;
        QFile::remove(ours);
        QFile::remove(theirs);
        const char* over = row.tls ? " over TLS" : "";
        const char* curlGoal = row.tls ? "<= 0.9" : megabytes == 10 ? "<= 0.8" : "<= 0.6";
        const char* floorGoal = megabytes == 100 && !row.tls ? "<= 1.3" : "-";
        std::printf("streamed RETR %4lld MB%s: ours %.3f s, curl %.3f s, floor %.3f s (medians of "
                    "%d); median ratios ours/curl %.2f (goal %s), ours/floor %.2f (goal %s); our "
                    "peak RSS %.1f MB (goal <= 30)\n",
                    static_cast<long long>(megabytes), over, oursSeries.median(),
                    curlSeries.median(), floorSeries.median(), rowPairs,
                    medianRatio(oursSeries, curlSeries), curlGoal,
                    medianRatio(oursSeries, floorSeries), floorGoal, oursSeries.peakKiB / 1024.0);
        std::printf("TABLE|Streamed RETR %lld MB to a file%s|%.3f s, peak %.1f MB|curl %.3f s, "
                    "floor %.3f s|%.2f ours/curl, %.2f ours/floor|curl %s, floor %s, <= 30 MB\n",
                    static_cast<long long>(megabytes), over, oursSeries.median(),
                    oursSeries.peakKiB / 1024.0, curlSeries.median(), floorSeries.median(),
                    medianRatio(oursSeries, curlSeries), medianRatio(oursSeries, floorSeries),
                    curlGoal, floorGoal);
        for (const QString& file : box.messageFiles()) {
            QFile::remove(file); // a gigabyte of mail need not wait for the fixture's stop
        }
    }
    runChild({fixture, QStringLiteral("stop"), state});
    return failures == 0 ? 0 : 1;
}
