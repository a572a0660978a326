// Streamed RETR of a 100 MB message from a local Dovecot: our control against curl's POP3
// client, in the same run, alternating. Prints the median ratio of wall times (ours / curl's)
// and our peak resident memory, also for a 10 MB message to show that memory stays flat, and
// for 100 MB over TLS (curl with --cacert on pop3s) against the same server.
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
    for (const Row row : {Row{10, false}, Row{100, false}, Row{100, true}}) {
        const qint64 megabytes = row.megabytes;
        const dovecot::Mailbox box = server.createMailbox(
            QStringLiteral("bench%1%2").arg(megabytes).arg(row.tls ? "tls" : ""));
        box.addMessage(dovecot::makeMessageOfSize(megabytes * 1024 * 1024, 9));
        const QString ours = work.filePath(QStringLiteral("ours.txt"));
        const QString theirs = work.filePath(QStringLiteral("curl.txt"));
        QList<double> ratios;
        long peakKiB = 0;
        double oursTotal = 0;
        double curlTotal = 0;
        for (int i = 0; i < pairs; ++i) {
            const quint16 port = row.tls ? server.tlsPort() : server.port();
            QStringList client = {binDir + QStringLiteral("/retr_client"),
                                  server.address(),
                                  QString::number(port),
                                  box.user(),
                                  box.password(),
                                  ours};
            QStringList curl = {QStringLiteral("curl"), QStringLiteral("-s")};
            if (row.tls) {
                client << QStringLiteral("2") << server.caFile();
                curl << QStringLiteral("--cacert") << server.caFile();
            }
            curl << QStringLiteral("%1://%2:%3@%4:%5/1")
                        .arg(row.tls ? "pop3s" : "pop3", box.user(), box.password(),
                             server.address())
                        .arg(port)
                 << QStringLiteral("-o") << theirs;
            const Measured a = runChild(client);
            const Measured b = runChild(curl);
            failures += (a.status != 0) + (b.status != 0);
            ratios.append(a.seconds / b.seconds);
            peakKiB = std::max(peakKiB, a.peakRssKiB);
            oursTotal += a.seconds;
            curlTotal += b.seconds;
        }
        const char* over = row.tls ? " over TLS" : "";
        const char* goal = row.tls ? "<= 0.9" : "<= 0.8";
        std::printf("streamed RETR %3lld MB%s: ours %.3f s, curl %.3f s (means); median ratio "
                    "ours/curl %.2f (goal %s); our peak RSS %.1f MB (goal <= 30)\n",
                    static_cast<long long>(megabytes), over, oursTotal / pairs, curlTotal / pairs,
                    median(ratios), goal, peakKiB / 1024.0);
        std::printf("TABLE|Streamed RETR %lld MB to a file%s|%.3f s, peak %.1f MB|curl %.3f s|%.2f "
                    "ours/curl|%s, <= 30 MB\n",
                    static_cast<long long>(megabytes), over, oursTotal / pairs, peakKiB / 1024.0,
                    curlTotal / pairs, median(ratios), goal);
    }
    runChild({fixture, QStringLiteral("stop"), state});
    return failures == 0 ? 0 : 1;
}
