// What the scan run needs from its surroundings besides the window and the control: pauses,
// the message boxes and ending the program. Tests replace some of them.
#pragma once

#include "scanner/runoutcome.h"

#include <QString>
#include <functional>

class Account;
class ProgramFolder;
class QWidget;
class WindowKit;

struct ScanHooks {
    // Busy wait that keeps pumping the event loop for `seconds` of the monotonic clock.
    std::function<void(int seconds)> pause;
    // The size prompt; true when the user chose OK.
    std::function<bool(QWidget* parent, const QString& text)> askToContinue;
    // The error box (OK only, critical icon).
    std::function<void(QWidget* parent, const QString& text)> showError;
    // Ends the program at once: no further handler runs and the control is not destroyed, so
    // an error exit sends no QUIT. Never returns in the real program.
    std::function<void(int exitCode)> endProgram;
    // A setting of `account` is missing: hands over to the settings program, or says how to
    // store them. Returns the exit status to end with.
    std::function<int(const ProgramFolder& programFolder, const Account& account)> settingsMissing;
    // Another run holds the account or the folder: tries `attempt` until it succeeds (true) or
    // the wait is over (false, after 60 s), keeping the window alive meanwhile.
    std::function<bool(const std::function<bool()>& attempt)> waitForRunLock;
    // Told what the run ended with, just before the program ends; may be empty.
    std::function<void(const RunOutcome& outcome)> runEnded = {};
    // The run-time error box (see reportRuntimeError); none without a window.
    std::function<void(const QString& text)> showRuntimeError = {};

    // The window's: the kit's modal boxes, busy pauses, the settings program started.
    static ScanHooks withWindow(const WindowKit& kit);
    // The same with the window linked in (the library orsel_window, which defines it).
    static ScanHooks real();
    // No window: boxes on standard error, no pauses, the size prompt answered Cancel (the run
    // asks only above --max-size), missing settings explained with exit status 3.
    static ScanHooks headless();
};

// Tells runEnded what the run ended with, then ends the program with its exit status.
void endRun(const ScanHooks& hooks, const RunOutcome& outcome);

// The run-time error report: standard error, plus the hooks' box when there is a window; then the
// program ends with a non-zero status. `outcome`: what the run had found until then.
void reportRuntimeError(const ScanHooks& hooks, int number, const QString& description,
                        RunOutcome outcome = {});
