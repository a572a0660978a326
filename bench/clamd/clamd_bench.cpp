// ClamAV at its real size: Orsel01 --headless scans 20 messages from a local Dovecot with a
// generated database of 7.6 million signatures, in-process and through clamd (started and loaded
// before the clock starts), against the same scan without ClamAV and against clamdscan --fdpass on
// the same 20 saved files, all in one run. Times are medians; memory is Orsel01's peak RSS.
// Usage: clamd_bench [RUNS]
#include "bench/clamd/signaturedatabase.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/clamdserver.h"
#include "tests/support/programcopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMessages = 20;

struct Measured {
    double seconds = 0;
    double peakMb = 0;
    int exitCode = -1;
};

// fork and exec rather than QProcess: wait4() gives the child's own peak memory.
Measured runMeasured(const QStringList& command, const QProcessEnvironment& environment,
                     const QString& log)
{
    std::vector<QByteArray> arguments;
    for (const QString& argument : command) {
        arguments.push_back(QFile::encodeName(argument));
    }
    std::vector<char*> argv;
    for (QByteArray& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<QByteArray> variables;
    for (const QString& variable : environment.toStringList()) {
        variables.push_back(variable.toLocal8Bit());
    }
    std::vector<char*> envp;
    for (QByteArray& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    const int output =
        ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output, 1);
        ::dup2(output, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    Measured measured;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    measured.seconds = double(timer.nsecsElapsed()) / 1e9;
    measured.peakMb = double(usage.ru_maxrss) / 1024;
    measured.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::close(output);
    return measured;
}

// Medians of the times, the highest peak.
Measured summary(std::vector<Measured> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
    Measured median = runs[runs.size() / 2];
    for (const Measured& run : runs) {
        median.peakMb = std::max(median.peakMb, run.peakMb);
        median.exitCode = std::max(median.exitCode, run.exitCode);
    }
    return median;
}

// Orsel01 and its neighbours in a program folder of their own, with settings and a class
// registry of their own.
class Scanner {
public:
    Scanner(const QString& address, const QString& user, const QString& pass)
        : m_address(address), m_user(user), m_pass(pass)
    {
        copyProgramWithModules(QStringLiteral(ORSEL01_PATH), m_folder.path());
        for (const char* file : {SETTINGS_PATH, DEFDAT_PATH}) {
            const QString source = QString::fromLocal8Bit(file);
            QFile::copy(source, m_folder.filePath(QFileInfo(source).fileName()));
        }
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_STATE_HOME"), m_config.path());
        m_environment.remove(QStringLiteral("DISPLAY"));
        tool({QStringLiteral(REGSVR_PATH), QStringLiteral(VRLN401_PATH)});
    }

    // One headless scan with "ClamAV" set to `clamAv` ("off" for none).
    Measured scan(const QString& clamAv)
    {
        tool({m_folder.filePath(QStringLiteral("settings")), QStringLiteral("--address"), m_address,
              QStringLiteral("--user"), m_user, QStringLiteral("--pass"), m_pass,
              QStringLiteral("--security"), QStringLiteral("none"), QStringLiteral("--decode"),
              QStringLiteral("0"), QStringLiteral("--clamav"), clamAv});
        return runMeasured(
            {m_folder.filePath(QStringLiteral("Orsel01")), QStringLiteral("--headless")},
            m_environment, log());
    }

    QStringList savedFiles() const
    {
        QStringList files;
        for (int n = 1; n <= kMessages; ++n) {
            files.append(m_folder.filePath(QStringLiteral("msg%1.txt").arg(n)));
        }
        return files;
    }
    QString log() const { return m_config.filePath(QStringLiteral("runs.log")); }

private:
    void tool(const QStringList& command)
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(command.first(), command.mid(1));
        process.waitForFinished(-1);
    }

    QString m_address, m_user, m_pass;
    QTemporaryDir m_folder;
    QTemporaryDir m_config;
    QProcessEnvironment m_environment;
};

int fixture(const QString& action, const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VORLANE_DOVECOT_FIXTURE_SCRIPT), QStringList{action} + arguments);
    process.waitForFinished(-1);
    return process.exitCode();
}

void printRun(const char* what, const Measured& m)
{
    std::printf("%-44s %8.3f s  peak %7.1f MB  exit %d\n", what, m.seconds, m.peakMb, m.exitCode);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString database = QStringLiteral(BENCH_DATA_DIR "/clamav-7.6M");
    QElapsedTimer timer;
    timer.start();
    const qint64 signatures = ensureSignatureDatabase(database);
    if (signatures == 0) {
        std::fprintf(stderr, "clamd_bench: cannot write the database in %s\n",
                     qPrintable(database));
        return 2;
    }
    std::printf("database: %lld signatures in %s (%.1f s to make or find)\n", signatures,
                qPrintable(database), double(timer.elapsed()) / 1000);

    QTemporaryDir work;
    QFile::setPermissions(work.path(), QFile::Permissions(0x7755));
    const QString state = work.filePath(QStringLiteral("dovecot"));
    const QString address = QStringLiteral(VORLANE_TEST_LOOPBACK_NET ".60");
    if (fixture(QStringLiteral("start"), {state, address, QStringLiteral("110")}) != 0) {
        std::fprintf(stderr, "clamd_bench: Dovecot did not start on %s:110\n", qPrintable(address));
        return 2;
    }
    const dovecot::DovecotServer server(state);
    const dovecot::Mailbox box = server.createMailbox(QStringLiteral("clamdbench"));
    for (int n = 0; n < kMessages; ++n) {
        box.addMessage(dovecot::makeMessageOfSize(32 * 1024, n));
    }
    Scanner scanner(address, box.user(), box.password());

    // First, alone: it takes as much memory as the daemon.
    const Measured inProcess = scanner.scan(database);

    ClamdServer clamd({}, {}, database);
    QString why;
    timer.restart();
    if (!clamd.start(&why, 600000)) {
        std::fprintf(stderr, "clamd_bench: %s\n", qPrintable(why));
        fixture(QStringLiteral("stop"), {state});
        return 2;
    }
    std::printf("clamd loaded the database in %.1f s\n", double(timer.elapsed()) / 1000);
    // Taken in turns, with the daemon loaded all along as on a machine that runs it: a process of
    // 900 MB beside them slows every scan here, with ClamAV or without.
    std::vector<Measured> none;
    std::vector<Measured> daemon;
    std::vector<Measured> clamdscan;
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (int i = 0; i < runs; ++i) {
        none.push_back(scanner.scan(QStringLiteral("off")));
        daemon.push_back(scanner.scan(QStringLiteral("clamd:") + clamd.socket()));
        clamdscan.push_back(
            runMeasured(QStringList{QStringLiteral("/usr/bin/clamdscan"),
                                    QStringLiteral("--config-file=") + clamd.config(),
                                    QStringLiteral("--fdpass"), QStringLiteral("--no-summary")} +
                            scanner.savedFiles(),
                        environment, scanner.log()));
    }
    clamd.kill();
    fixture(QStringLiteral("stop"), {state});

    const Measured plain = summary(none);
    const Measured withDaemon = summary(daemon);
    const Measured peer = summary(clamdscan);
    printRun("no ClamAV (median)", plain);
    printRun("ClamAV in-process, database loaded by the run", inProcess);
    printRun("ClamAV daemon (median)", withDaemon);
    printRun("clamdscan --fdpass, the 20 saved files", peer);
    const bool ok = plain.exitCode == 0 && inProcess.exitCode == 0 && withDaemon.exitCode == 0 &&
                    peer.exitCode == 0;
    if (!ok) {
        std::printf("a run failed; its output is in %s\n", qPrintable(scanner.log()));
    }
    const double added = withDaemon.seconds - plain.seconds;
    std::printf("TABLE|Headless scan, %d messages, clamd (%.1f M sigs)|%.3f s, peak %.1f MB|no "
                "ClamAV %.3f s, %.1f MB|+%.3f s; peak %.2fx|<= +0.1 s, <= 40 MB\n",
                kMessages, double(signatures) / 1e6, withDaemon.seconds, withDaemon.peakMb,
                plain.seconds, plain.peakMb, added, withDaemon.peakMb / plain.peakMb);
    std::printf("TABLE|ClamAV's share of that scan, %d files|+%.3f s (clamd - no ClamAV)|clamdscan "
                "--fdpass %.3f s|%.2fx (clamdscan / ours)|-\n",
                kMessages, added, peer.seconds, peer.seconds / std::max(added, 1e-6));
    std::printf("TABLE|Headless scan, %d messages, ClamAV in-process|%.3f s, peak %.1f MB|clamd "
                "%.3f s, %.1f MB|%.1fx the time, %.1fx the memory|use clamd\n",
                kMessages, inProcess.seconds, inProcess.peakMb, withDaemon.seconds,
                withDaemon.peakMb, inProcess.seconds / withDaemon.seconds,
                inProcess.peakMb / withDaemon.peakMb);
    return ok ? 0 : 1;
}
