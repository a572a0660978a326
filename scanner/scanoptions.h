// Orsel01's command-line options. Without any of them the program is the windowed scanner.
#pragma once

#include "scanner/account.h"

#include <QString>
#include <QStringList>
#include <optional>

// A message larger than this many K is fetched only when the user says so; a headless run skips
// it unless --max-size says otherwise.
inline constexpr qint32 kSizePromptAboveK = 300;

struct ScanOptions {
    // No window, no display: status texts on standard output, boxes on standard error, no
    // pauses, the size prompt answered by maxSizeK, missing settings an exit with status 3.
    bool headless = false;
    // With headless: messages larger than this many K are skipped, as Cancel skips them.
    qint32 maxSizeK = kSizePromptAboveK;
    // Skip messages found clean before by the same definitions, for this account.
    bool remember = false;
    // Where the saved files of infected messages go; empty: they stay beside the program.
    QString quarantineFolder;
    // Whose settings, saved files and password the run uses.
    Account account;
    // With headless: a desktop notification when the run removed infected mail, left some not
    // fully checked or failed (--no-notify turns it off).
    bool notify = true;
    // Not a scan: sends the notification handed over in the environment and waits for its
    // action (an option hidden from --help; see notificationhandoff.h).
    bool notificationHelper = false;
};

// The exit statuses, as --help and the README list them.
namespace exitstatus {
inline constexpr int Done = 0;
inline constexpr int ErrorExit = 1;
inline constexpr int RuntimeError = 2;
inline constexpr int SettingsMissing = 3; // with --headless
inline constexpr int InfectedDeleted = 4; // with --headless
inline constexpr int NotFullyChecked = 5; // with --headless; before 4

} // namespace exitstatus

struct ParsedOptions {
    std::optional<ScanOptions> options; // nothing: do not run
    QString output;                     // --help text, or the reason the options were refused
    int exitCode = 0;                   // when not running
};

// `arguments` as main() got them, the program's name first. Needs no application object, so
// that a headless run can decide before one is made.
ParsedOptions parseScanOptions(const QStringList& arguments);
