#include "scanner/startup.h"

#include "scanner/scanoptions.h"
#include "scanner/scansurface.h"
#include "scanner/statusoutput.h"

modGeneral::StoredSettings startUp(ScanSurface& surface, const ProgramFolder& programFolder,
                                   const ScanHooks& hooks, const Account& account)
{
    if (const QString problem = modGeneral::settingsFileProblem(); !problem.isEmpty()) {
        hooks.showError(surface.boxParent(), QStringLiteral("Error: ") + problem);
        RunOutcome outcome;
        outcome.exitCode = exitstatus::ErrorExit;
        outcome.failure = problem;
        endRun(hooks, outcome);
        return {};
    }
    if (const QString warning = modGeneral::settingsFileWarning(); !warning.isEmpty()) {
        writeErrorText(QStringLiteral("Orsel01: ") + warning);
    }
    const modGeneral::StoredSettings settings = modGeneral::readSettings(account);
    if (!settings.complete()) {
        RunOutcome outcome;
        outcome.exitCode = hooks.settingsMissing(programFolder, account);
        outcome.failure = QStringLiteral("The mailbox settings are missing.");
        endRun(hooks, outcome);
        return settings;
    }
    surface.setTopmost(true);
    return settings;
}
