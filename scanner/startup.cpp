#include "scanner/startup.h"

#include "scanner/scanoptions.h"
#include "scanner/scansurface.h"
#include "scanner/statusoutput.h"

modGeneral::StoredSettings startUp(ScanSurface& surface, const ProgramFolder& programFolder,
                                   const ScanHooks& hooks)
{
    if (const QString problem = modGeneral::settingsFileProblem(); !problem.isEmpty()) {
        hooks.showError(surface.boxParent(), QStringLiteral("Error: ") + problem);
        hooks.endProgram(exitstatus::ErrorExit);
        return {};
    }
    if (const QString warning = modGeneral::settingsFileWarning(); !warning.isEmpty()) {
        writeErrorText(QStringLiteral("Orsel01: ") + warning);
    }
    const modGeneral::StoredSettings settings = modGeneral::readSettings();
    if (!settings.complete()) {
        hooks.endProgram(hooks.settingsMissing(programFolder));
        return settings;
    }
    surface.setTopmost(true);
    return settings;
}
