// The scan run: log in, walk every message, save and check each, alert and mark infected ones
// for deletion, disconnect and end the program. Every way through it ends the program.
#pragma once

#include "scanner/controlhost.h"
#include "scanner/definitioncheck/definitionset.h"
#include "scanner/modgeneral.h"
#include "scanner/scanhooks.h"
#include "scanner/writablehome.h"

#include <QString>

class Scan;

class ScanRun {
public:
    ScanRun(Scan& window, ControlHost& control, modGeneral::StoredSettings settings,
            QString programFolder, ScanHooks hooks);

    // The click handler of Command1. Ends the program through the hooks; a run-time fault of a
    // call ends it with the run-time error report.
    void run();

    static constexpr qint32 kSizePromptAboveK = 300;
    static constexpr qint32 kMaximumMessages = 32767;
    static constexpr qint32 kPop3Port = 110;
    static constexpr qint32 kPop3sPort = 995;

private:
    void runSteps();
    void applyConnectionSecurity();
    void scanMessage(int counter);
    void saveAndCheck();
    void onHit(const QByteArray& definition, const QByteArray& messageLine);
    void onProgress(qint16 percentCompleted);
    [[noreturn]] void errorExit(const QString& reason);
    [[noreturn]] void endProgram(int exitCode);
    QString savedMessagePath();
    QString msgNumberText();

    Scan& m_window;
    ControlHost& m_control;
    modGeneral::StoredSettings m_settings;
    ScanPlaces m_places;
    ScanHooks m_hooks;
    scanner::DefinitionSet m_definitions;
    bool m_skip = false;
    bool m_hit = false;
};
