// The scan run: log in, walk every message, save and check each, alert and mark infected ones
// for deletion, disconnect and end the program. Every way through it ends the program.
#pragma once

#include "scanner/controlhost.h"
#include "scanner/definitioncheck/definitionset.h"
#include "scanner/modgeneral.h"
#include "scanner/scanengines.h"
#include "scanner/scanhooks.h"

#include <QString>

class Scan;

class ScanRun {
public:
    ScanRun(Scan& window, ControlHost& control, modGeneral::StoredSettings settings,
            QString programFolder, ScanHooks hooks);

    // The click handler of Command1. Ends the program through the hooks; a run-time fault of a
    // call ends it with the run-time error report.
    void run();

    // The checks beside the definition check, as the settings configure them.
    const ScanEngines& engines() const { return m_engines; }

    static constexpr qint32 kSizePromptAboveK = 300;
    static constexpr qint32 kMaximumMessages = 32767;

private:
    void runSteps();
    void scanMessage(int counter);
    void saveAndCheck();
    void prepareEngines();
    void onHit(const QByteArray& definition, const QByteArray& messageLine);
    void onProgress(qint16 percentCompleted);
    [[noreturn]] void errorExit(const QString& reason);
    [[noreturn]] void endProgram(int exitCode);
    QString savedMessagePath();
    QString msgNumberText();

    Scan& m_window;
    ControlHost& m_control;
    modGeneral::StoredSettings m_settings;
    QString m_programFolder;
    ScanHooks m_hooks;
    scanner::DefinitionSet m_definitions;
    ScanEngines m_engines; // from the store as it is when the run is made
    bool m_skip = false;
    bool m_hit = false;
};
