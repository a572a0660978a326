// The scan run: log in, walk every message, save and check each, alert and mark infected ones
// for deletion, disconnect and end the program. Every way through it ends the program.
#pragma once

#include "scanner/controlhost.h"
#include "scanner/definitioncheck/definitionset.h"
#include "scanner/modgeneral.h"
#include "scanner/programfolder.h"
#include "scanner/scanhooks.h"

#include <QSet>
#include <QString>

class Scan;

class ScanRun {
public:
    ScanRun(Scan& window, ControlHost& control, modGeneral::StoredSettings settings,
            const ProgramFolder& programFolder, ScanHooks hooks);

    // The click handler of Command1. Ends the program through the hooks; a run-time fault of a
    // call ends it with the run-time error report.
    void run();

    static constexpr qint32 kSizePromptAboveK = 300;
    static constexpr qint32 kMaximumMessages = 32767;

private:
    void runSteps();
    void scanMessage(int counter);
    void saveAndCheck();
    void onHit(const QByteArray& definition, const QByteArray& messageLine);
    void onProgress(qint16 percentCompleted);
    [[noreturn]] void errorExit(const QString& reason);
    void reportFailure(const QString& reason);
    void disconnect();
    [[noreturn]] void endProgram(int exitCode);
    QString savedMessagePath();
    QString savedMessageName();
    QString msgNumberText();

    Scan& m_window;
    ControlHost& m_control;
    modGeneral::StoredSettings m_settings;
    ProgramFolder m_programFolder;
    ScanHooks m_hooks;
    scanner::DefinitionSet m_definitions;
    bool m_skip = false;
    bool m_hit = false;
    // Messages whose DELE was answered (either way) this run: the server refuses a repeat DELE
    // of a marked message, and that refusal is no news.
    QSet<qint32> m_deleAnswered;
    // A step failed that the run does not stop for (a refused DELE or QUIT): the run ends
    // with the error status instead of success.
    bool m_failed = false;
    bool m_blankLinesSaid = false;
};
