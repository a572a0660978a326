#include "scanner/startup.h"

#include "scanner/scan.h"

#include <QProcess>

modGeneral::StoredSettings startUp(Scan& window, const ProgramFolder& programFolder,
                                   const ScanHooks& hooks)
{
    const modGeneral::StoredSettings settings = modGeneral::readSettings();
    if (!settings.complete()) {
        // Whether it starts is not our concern: the scanner cannot run either way.
        QProcess::startDetached(programFolder.filePath(QStringLiteral("settings")), {},
                                programFolder.filePath(QString()));
        hooks.endProgram(0);
        return settings;
    }
    window.setTopmost(true);
    return settings;
}
