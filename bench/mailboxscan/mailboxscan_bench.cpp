// A 1,000-message mailbox (clean 10 K messages) scanned the way Orsel01 does it, against a
// Python poplib script that sends the same commands and does the same check, in the same run.
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

double runSeconds(const QString& program, const QStringList& arguments, bool* ok)
{
    QProcess process;
    // The compiled definitions are cached apart from the user's own cache.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                       QDir::tempPath() + QStringLiteral("/orsel-bench-cache"));
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    *ok = *ok && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (process.exitCode() != 0) {
        std::fprintf(stderr, "%s", process.readAllStandardError().constData());
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const QString fixture = QStringLiteral(VORLANE_DOVECOT_FIXTURE_SCRIPT);
    QTemporaryDir work;
    QFile::setPermissions(work.path(), QFile::Permissions(0x7755));
    const QString state = work.filePath(QStringLiteral("dovecot"));
    QProcess start;
    start.start(fixture, {QStringLiteral("start"), state});
    start.waitForFinished(-1);
    if (start.exitCode() != 0) {
        std::fprintf(stderr, "mailboxscan_bench: the Dovecot fixture did not start\n");
        return 2;
    }
    const dovecot::DovecotServer server(state);
    const dovecot::Mailbox box = server.createMailbox(QStringLiteral("scan"));
    for (int i = 0; i < messages; ++i) {
        box.addMessage(dovecot::makeMessageOfSize(10 * 1024, i));
    }
    const QString definitions = work.filePath(QStringLiteral("def.dat"));
    QFile defs(definitions);
    defs.open(QIODevice::WriteOnly);
    defs.write("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*\r\n"
               "evil payload\r\nanother bad thing\r\n");
    defs.close();
    const QString ours = QCoreApplication::applicationDirPath() + QStringLiteral("/scan_client");
    const QStringList common = {server.address(), QString::number(server.port()), box.user(),
                                box.password()};
    bool ok = true;
    // Every saved message is a new file, and on a disk's file system creating one can cost more
    // than the whole POP3 exchange for it (ext4 searching for an inode to use), alike for both
    // clients. The second row writes to memory (tmpfs) and so shows the walk itself.
    struct Place {
        const char* label;
        QString base;
    };
    QTemporaryDir inMemory(QStringLiteral("/dev/shm/orsel-bench-XXXXXX"));
    QList<Place> places = {{"", work.path()}};
    if (inMemory.isValid()) {
        places.append({", files in tmpfs", inMemory.path()});
    }
    for (const Place& place : places) {
        QList<double> ratios;
        QList<double> oursTimes;
        QList<double> peerTimes;
        for (int i = 0; i < runs; ++i) {
            const QString a = place.base + QStringLiteral("/ours%1").arg(i);
            const QString b = place.base + QStringLiteral("/peer%1").arg(i);
            QDir().mkpath(a);
            QDir().mkpath(b);
            const double o = runSeconds(ours, common + QStringList{a, definitions}, &ok);
            const double p = runSeconds(QStringLiteral("python3"),
                                        QStringList{QStringLiteral(SCAN_PEER_SCRIPT)} + common +
                                            QStringList{b, definitions},
                                        &ok);
            ratios.append(o / p);
            oursTimes.append(o);
            peerTimes.append(p);
            QDir(a).removeRecursively();
            QDir(b).removeRecursively();
        }
        const auto median = [](QList<double> values) {
            std::sort(values.begin(), values.end());
            return values[values.size() / 2];
        };
        std::printf("mailbox scan, %d clean 10 K messages%s: ours %.2f s, python poplib %.2f s "
                    "(medians of %d); median ratio ours/peer %.2f (goal <= 0.4)\n",
                    messages, place.label, median(oursTimes), median(peerTimes), runs,
                    median(ratios));
        std::printf("TABLE|Mailbox scan, %d clean 10 K messages%s|%.2f s|python poplib %.2f "
                    "s|%.2f ours/peer|<= 0.4\n",
                    messages, place.label, median(oursTimes), median(peerTimes), median(ratios));
    }
    QProcess stop;
    stop.start(fixture, {QStringLiteral("stop"), state});
    stop.waitForFinished(-1);
    return ok ? 0 : 1;
}
