#include "scanner/scanhooks.h"

#include "platform/clock.h"
#include "platform/pump.h"
#include "scanner/account.h"
#include "scanner/installedcommand.h"
#include "scanner/programfolder.h"
#include "scanner/runlock.h"
#include "scanner/scanoptions.h"
#include "scanner/statusoutput.h"
#include "scanner/windowkit.h"

#include <QProcess>
#include <cstdio>
#include <unistd.h>

namespace {

void realPause(int seconds)
{
    // Monotonic, so a pause lasts its nominal length across midnight or a clock change.
    const qint64 end = platform::monotonicMilliseconds() + qint64(seconds) * 1000;
    while (platform::monotonicMilliseconds() < end) {
        platform::pumpEvents();
    }
}

[[noreturn]] void realEndProgram(int exitCode)
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(exitCode);
}

int startSettingsProgram(const ProgramFolder& folder, const Account& account)
{
    // Whether it starts is not our concern: the scanner cannot run either way.
    const QStringList arguments = account.isDefault()
                                      ? QStringList()
                                      : QStringList{QStringLiteral("--account"), account.name()};
    QProcess::startDetached(folder.filePath(QStringLiteral("settings")), arguments,
                            folder.filePath(QString()));
    return exitstatus::Done;
}

int explainMissingSettings(const ProgramFolder& folder, const Account& account)
{
    const QString settings = installedCommand(folder.filePath(QStringLiteral("settings")))
                                 .value_or(folder.displayPath() + QStringLiteral("/settings"));
    writeErrorText(QStringLiteral("Orsel01: the mailbox settings are missing. Store them with the "
                                  "settings program: %1 %2--address A --user U --pass -")
                       .arg(settings, account.commandLineArguments()));
    return exitstatus::SettingsMissing;
}

} // namespace

static bool waitSixtySeconds(const std::function<bool()>& attempt)
{
    return platform::pumpUntil(attempt, 60 * 1000);
}

ScanHooks ScanHooks::withWindow(const WindowKit& kit)
{
    return ScanHooks{
        realPause,
        [&kit](QWidget* parent, const QString& text) { return kit.askToContinue(parent, text); },
        [&kit](QWidget* parent, const QString& text) { kit.showError(parent, text); },
        realEndProgram,
        startSettingsProgram,
        waitSixtySeconds,
        {},
        [&kit](const QString& text) { kit.showRuntimeError(text); }};
}

ScanHooks ScanHooks::headless()
{
    return ScanHooks{[](int) {},
                     [](QWidget*, const QString&) { return false; },
                     [](QWidget*, const QString& text) { writeErrorText(text); },
                     realEndProgram,
                     explainMissingSettings,
                     waitSixtySeconds,
                     {}};
}

void endRun(const ScanHooks& hooks, const RunOutcome& outcome)
{
    if (hooks.runEnded) {
        hooks.runEnded(outcome);
    }
    hooks.endProgram(outcome.exitCode);
}

void reportRuntimeError(const ScanHooks& hooks, int number, const QString& description,
                        RunOutcome outcome)
{
    const QString text = QStringLiteral("Run-time error '%1':\n\n%2").arg(number).arg(description);
    std::fprintf(stderr, "Orsel01: %s\n", qPrintable(text));
    if (hooks.showRuntimeError) {
        hooks.showRuntimeError(text);
    }
    outcome.exitCode = exitstatus::RuntimeError;
    outcome.failure = text;
    endRun(hooks, outcome);
}
