// Orsel01 against a server far away: Dovecot with 200 messages of 2.5 K behind a proxy that
// holds every piece of data 20 ms in each direction (a 40 ms round trip), a headless first scan
// and a remembered rescan with "FewerRoundTrips", against fetchmail --keep --uidl (its MDA
// writing to /dev/null) over the same proxy in the same run. Prints medians, their ratios, and
// the round trips each client took per run with the commands it sent in each.
// Usage: remotescan_bench [RUNS [MESSAGES]]
#include "bench/remotescan/delayproxy.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/programcopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr std::chrono::milliseconds kDelay{20};

// One way of fetching the mailbox: a program, how to run it, and how to make it forget.
struct Client {
    const char* name;
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
    int rescanExitCode; // fetchmail says "no mail" with 1
    std::function<void()> forget;
};

struct Measured {
    double seconds = 0;
    DelayProxy::Session session;
    std::chrono::steady_clock::time_point started, ended;
};

bool runTool(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s", qPrintable(program),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

Measured timedRun(const Client& client, int expectedExit, DelayProxy& proxy, bool* ok)
{
    QProcess process;
    process.setProcessEnvironment(client.environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    Measured measured;
    measured.started = std::chrono::steady_clock::now();
    process.start(client.program, client.arguments);
    process.waitForFinished(-1);
    measured.ended = std::chrono::steady_clock::now();
    measured.seconds = double(timer.nsecsElapsed()) / 1e9;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != expectedExit) {
        std::fprintf(stderr, "%s ended with %d:\n%s\n", client.name, process.exitCode(),
                     process.readAll().right(2000).constData());
        *ok = false;
    }
    const QList<DelayProxy::Session> sessions = proxy.takeSessions(1, std::chrono::seconds(10));
    if (sessions.size() != 1) {
        std::fprintf(stderr, "%s: %lld connections through the proxy\n", client.name,
                     qlonglong(sessions.size()));
        *ok = false;
    } else {
        measured.session = sessions.first();
    }
    return measured;
}

// "CAPA ×1, USER+PASS ×1, ..., RETR ×200, QUIT ×1": each turn named by its command words, counted
// in the order they first came.
QByteArray turnSummary(const DelayProxy::Session& session)
{
    QByteArrayList labels;
    QList<int> counts;
    for (const QByteArrayList& turn : session.turns) {
        QByteArrayList words;
        for (const QByteArray& line : turn) {
            words.append(line.split(' ').first());
        }
        const QByteArray label = words.join('+');
        const qsizetype at = labels.indexOf(label);
        if (at < 0) {
            labels.append(label);
            counts.append(1);
        } else {
            ++counts[at];
        }
    }
    QByteArrayList parts;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        parts.append(labels[i] + " x" + QByteArray::number(counts[i]));
    }
    return parts.join(", ");
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QProcessEnvironment privateEnvironment(const QString& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR",
                             "XDG_DATA_HOME", "FETCHMAILHOME"}) {
        environment.insert(QString::fromLatin1(name), home);
    }
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/state"));
    return environment;
}

// Orsel01 and its settings program in a folder of their own, the control registered there.
Client orsel(const QString& folder, const QString& bin, const dovecot::Mailbox& box, bool* ok)
{
    QDir().mkpath(folder + QStringLiteral("/home"));
    copyProgramWithModules(bin + QStringLiteral("/Orsel01"), folder);
    for (const char* file : {"settings", "def.dat"}) {
        QFile::copy(bin + QLatin1Char('/') + QLatin1String(file),
                    folder + QLatin1Char('/') + QLatin1String(file));
    }
    const QString home = folder + QStringLiteral("/home");
    const QProcessEnvironment environment = privateEnvironment(home);
    *ok = runTool(bin + QStringLiteral("/regsvr"), {bin + QStringLiteral("/VRLN401.so")},
                  environment) &&
          runTool(folder + QStringLiteral("/settings"),
                  {"--address", QStringLiteral(REMOTESCAN_PROXY_ADDRESS), "--user", box.user(),
                   "--pass", box.password(), "--security", "none", "--fewer-round-trips", "1"},
                  environment) &&
          *ok;
    return {"Orsel01",
            folder + QStringLiteral("/Orsel01"),
            {QStringLiteral("--headless"), QStringLiteral("--remember")},
            environment,
            0,
            [home] { QDir(home + QStringLiteral("/state")).removeRecursively(); }};
}

Client fetchmail(const QString& folder, const dovecot::Mailbox& box)
{
    QDir().mkpath(folder);
    const QString rc = folder + QStringLiteral("/fetchmailrc");
    const QString ids = folder + QStringLiteral("/fetchids");
    QFile file(rc);
    file.open(QIODevice::WriteOnly);
    file.write("set no syslog\npoll " REMOTESCAN_PROXY_ADDRESS " proto POP3 port 110 uidl\n"
               "  user \"" +
               box.user().toUtf8() + "\" there with password \"" + box.password().toUtf8() +
               "\" is root here\n  options keep\n  mda \"cat >/dev/null\"\n  sslproto ''\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return {"fetchmail",
            QStringLiteral("fetchmail"),
            {"-f", rc, "--idfile", ids, "--keep", "--uidl"},
            privateEnvironment(folder),
            1,
            [ids] { QFile::remove(ids); }};
}

bool startDovecot(const QString& state, QString* error)
{
    QProcess start;
    start.start(QStringLiteral(VORLANE_DOVECOT_FIXTURE_SCRIPT), {QStringLiteral("start"), state});
    start.waitForFinished(-1);
    *error = QString::fromUtf8(start.readAllStandardError());
    return start.exitCode() == 0;
}

} // namespace

namespace {

// The runs of one client: a first scan (it forgot everything before) and a rescan, each time.
struct Series {
    QList<double> first, rescan;
    Measured lastFirst, lastRescan;
};

void measure(const Client& client, DelayProxy& proxy, Series& series, bool* ok)
{
    client.forget();
    const Measured first = timedRun(client, 0, proxy, ok);
    const Measured rescan = timedRun(client, client.rescanExitCode, proxy, ok);
    series.first.append(first.seconds);
    series.rescan.append(rescan.seconds);
    series.lastFirst = first;
    series.lastRescan = rescan;
}

void report(const char* what, const QList<double>& ours, const QList<double>& peer,
            const char* goal, int messages)
{
    QList<double> ratios;
    for (qsizetype i = 0; i < ours.size(); ++i) {
        ratios.append(ours[i] / peer[i]);
    }
    std::printf("%s of %d messages of 2.5 K, 20 ms each way: Orsel01 %.2f s, fetchmail %.2f s "
                "(medians of %lld); median ratio ours/peer %.2f (goal %s)\n",
                what, messages, median(ours), median(peer), qlonglong(ours.size()), median(ratios),
                goal);
    std::printf("TABLE|Distant server, %s, %d x 2.5 K|%.2f s|fetchmail %.2f s|%.2f ours/peer|%s\n",
                what, messages, median(ours), median(peer), median(ratios), goal);
}

void reportRoundTrips(const char* client, const char* run, const Measured& measured)
{
    // The greeting costs one round trip before the client's first turn.
    const DelayProxy::Session& session = measured.session;
    std::printf("  %s %s: %lld round trips (greeting, then %s)\n", client, run,
                qlonglong(session.turns.size() + 1), turnSummary(session).constData());
    // Where the time went, in ms from the process's start: its connection, its turns (the first
    // few and the last), the server's close and the process's end.
    const auto at = [&](std::chrono::steady_clock::time_point t) {
        return QByteArray::number(
            std::chrono::duration_cast<std::chrono::milliseconds>(t - measured.started).count());
    };
    QByteArrayList turns;
    for (qsizetype i = 0; i < session.turnStarts.size(); ++i) {
        if (i < 6 || i + 1 == session.turnStarts.size()) {
            turns.append(at(session.turnStarts[i]));
        } else if (i == 6) {
            turns.append("...");
        }
    }
    std::printf(
        "    ms from start: connected %s, turns at %s, server closed %s, process ended %s\n",
        at(session.connected).constData(), turns.join(' ').constData(),
        at(session.serverClosed).constData(), at(measured.ended).constData());
}

void reportAll(const Series& ours, const Series& peer, int messages)
{
    report("first scan", ours.first, peer.first, "<= 0.5", messages);
    report("remembered rescan", ours.rescan, peer.rescan, "<= 0.8", messages);
    reportRoundTrips("Orsel01", "first scan", ours.lastFirst);
    reportRoundTrips("Orsel01", "rescan", ours.lastRescan);
    reportRoundTrips("fetchmail", "first scan", peer.lastFirst);
    reportRoundTrips("fetchmail", "rescan", peer.lastRescan);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const int messages = argc > 2 ? std::atoi(argv[2]) : 200;
    QTemporaryDir work;
    QFile::setPermissions(work.path(), QFile::Permissions(0x7755));
    const QString state = work.filePath(QStringLiteral("dovecot"));
    QString error;
    if (!startDovecot(state, &error)) {
        std::fprintf(stderr, "remotescan_bench: Dovecot did not start: %s\n", qPrintable(error));
        return 2;
    }
    const dovecot::DovecotServer server(state);
    const dovecot::Mailbox box = server.createMailbox(QStringLiteral("distant"));
    for (int i = 0; i < messages; ++i) {
        box.addMessage(dovecot::makeMessageOfSize(2560, i));
    }
    DelayProxy proxy(REMOTESCAN_PROXY_ADDRESS, 110, server.address().toLatin1(), server.port(),
                     kDelay);
    QByteArray proxyError;
    bool ok = proxy.start(&proxyError);
    if (!ok) {
        std::fprintf(stderr, "remotescan_bench: %s\n", proxyError.constData());
    }
    const Client ours = orsel(work.filePath(QStringLiteral("orsel")),
                              QCoreApplication::applicationDirPath(), box, &ok);
    const Client peer = fetchmail(work.filePath(QStringLiteral("fetchmail")), box);
    Series warmUp, oursSeries, peerSeries;
    // One untimed round first: definitions compiled and cached, files and pages warm.
    if (ok) {
        measure(ours, proxy, warmUp, &ok);
        measure(peer, proxy, warmUp, &ok);
    }
    for (int run = 0; ok && run < runs; ++run) {
        measure(ours, proxy, oursSeries, &ok);
        measure(peer, proxy, peerSeries, &ok);
    }
    if (ok) {
        reportAll(oursSeries, peerSeries, messages);
    }
    QProcess::execute(QStringLiteral(VORLANE_DOVECOT_FIXTURE_SCRIPT),
                      {QStringLiteral("stop"), state});
    return ok ? 0 : 1;
}
