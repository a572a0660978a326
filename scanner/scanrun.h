// The scan run: log in, walk every message, save and check each, alert and mark infected ones
// for deletion, disconnect and end the program. Every way through it ends the program. The same
// run serves the window and headless runs; they differ in surface, hooks and options.
#pragma once

#include "scanner/controlhost.h"
#include "scanner/definitioncheck/definitionset.h"
#include "scanner/modgeneral.h"
#include "scanner/programfolder.h"
#include "scanner/quarantine.h"
#include "scanner/rememberedmessages.h"
#include "scanner/runlock.h"
#include "scanner/runoutcome.h"
#include "scanner/scanengines.h"
#include "scanner/scanhooks.h"
#include "scanner/scanoptions.h"
#include "scanner/scansurface.h"
#include "scanner/writablehome.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

class ScanRun {
public:
    // `engines` configures the checks beside the definition check.
    ScanRun(ScanSurface& surface, ControlHost& control, modGeneral::StoredSettings settings,
            const modGeneral::EngineSettings& engines, const ProgramFolder& programFolder,
            ScanHooks hooks, ScanOptions options = {});

    // The click handler of Command1. Ends the program through the hooks; a run-time fault of a
    // call ends it with the run-time error report.
    void run();

    static constexpr qint32 kMaximumMessages = 32767;
    // How long the keyring may take to give the password: a run without a window ends with an
    // error well within 10 s; a window waits for the person who unlocks it.
    static constexpr int kHeadlessKeyringTimeoutMs = 8000;
    static constexpr int kWindowKeyringTimeoutMs = 120000;

private:
    // What the end summary reports.
    struct Tally {
        qint32 onServer = 0;
        int checked = 0;
        int skippedBySize = 0;
        int remembered = 0;
        int infected = 0;
        int notFullyChecked = 0; // left on the server, see leaveNotFullyChecked()
        bool committed = false;  // QUIT answered "+OK"
    };

    void runSteps();
    void takeRunLocks();
    void takeRunLock(RunLock& lock, const QString& kind, const QString& key);
    QString loginPassword();
    void applyFewerRoundTrips();
    void prepareOptions();
    void scanMessage(int counter);
    bool skipRemembered(const QByteArray& id);
    bool skipLarge();
    void saveAndCheck();
    bool actOn(const scanner::CheckResult& result);
    void settleSavedFile(const QString& path, const QString& asSentPath, bool infected);
    QString writeAsSent(const QString& path);
    void leaveNotFullyChecked(const QString& reason);
    void noteFinding(RunOutcome::Finding finding, const QString& detail);
    QString closingText() const;
    void prepareEngines();
    void reportHit(const scanner::Hit& hit);
    void onProgress(qint16 percentCompleted);
    [[noreturn]] void errorExit(const QString& reason);
    [[noreturn]] void endProgram(int exitCode);
    void reportFailure(const QString& reason);
    void disconnect();
    void rememberCleanMessages();
    void sayBlankDefinitionLines();
    void printSummary() const;
    int exitCodeAtEnd() const;
    QString savedMessagePath();
    QString savedMessageName();
    QString msgNumberText();
    QByteArray msgUniqueId();
    bool isServersId(const QByteArray& id);
    bool neverFetched(const QString& path);
    QByteArray currentFingerprint() const;

    ScanSurface& m_surface;
    ControlHost& m_control;
    modGeneral::StoredSettings m_settings;
    ScanPlaces m_places;
    ScanHooks m_hooks;
    ScanOptions m_options;
    scanner::DefinitionSet m_definitions;
    ScanEngines m_engines;
    // Messages whose DELE was answered (either way) this run: the server refuses a repeat DELE
    // of a marked message, and that refusal is no news.
    QSet<qint32> m_deleAnswered;
    // A step failed that the run does not stop for (a refused DELE or QUIT): the run ends
    // with the error status instead of success.
    bool m_failed = false;
    bool m_blankLinesSaid = false;
    Tally m_tally;
    RunLock m_accountLock; // held from before login to the program's end
    RunLock m_folderLock;
    std::optional<Quarantine> m_quarantine;
    std::optional<RememberedMessages> m_memory;
    QByteArray m_engineFingerprint; // of what checked this run's messages
    // Found clean this run, or remembered and still there, with their sizes.
    RememberedMessages::Sizes m_cleanIds;
    RunOutcome m_outcome;      // for the hooks' runEnded
    QStringList m_messageHits; // the definitions found in the message being checked
};
