#include "scanner/startup.h"

#include "scanner/scansurface.h"

modGeneral::StoredSettings startUp(ScanSurface& surface, const ProgramFolder& programFolder,
                                   const ScanHooks& hooks)
{
    const modGeneral::StoredSettings settings = modGeneral::readSettings();
    if (!settings.complete()) {
        hooks.endProgram(hooks.settingsMissing(programFolder));
        return settings;
    }
    surface.setTopmost(true);
    return settings;
}
