// What the scan run needs from its surroundings besides the window and the control: pauses,
// the message boxes and ending the program. Tests replace some of them.
#pragma once

#include <QString>
#include <functional>

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
    // A setting is missing: hands over to the settings program, or says how to store them.
    // Returns the exit status to end with.
    std::function<int(const ProgramFolder& programFolder)> settingsMissing;
    // The run-time error box (see reportRuntimeError); none without a window.
    std::function<void(const QString& text)> showRuntimeError;

    // The window's: the kit's modal boxes, busy pauses, the settings program started.
    static ScanHooks withWindow(const WindowKit& kit);
    // The same with the window linked in (the library orsel_window, which defines it).
    static ScanHooks real();
    // No window: boxes on standard error, no pauses, the size prompt answered Cancel (the run
    // asks only above --max-size), missing settings explained with exit status 3.
    static ScanHooks headless();
};

// The run-time error report: standard error, plus the hooks' box when there is a window; then the
// program ends with a non-zero status.
void reportRuntimeError(const ScanHooks& hooks, int number, const QString& description);
