#include "scanner/startup.h"

#include "scanner/scansurface.h"

modGeneral::StoredSettings startUp(ScanSurface& surface, const ProgramFolder& programFolder,
                                   const ScanHooks& hooks, const Account& account)
{
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
