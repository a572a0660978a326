// What a run with a window needs of Qt Widgets: the widget application, the window `Scan` and its
// boxes. They live in the module Orsel01ui.so beside the program, loaded only for a run with a
// window, so that a headless run loads no Qt Gui or Widgets library.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QCoreApplication;
class QWidget;
class ScanSurface;

class WindowKit {
public:
    // The widget application, made before anything else of Qt (needs a display).
    virtual std::unique_ptr<QCoreApplication> createApplication(int& argc, char** argv) const = 0;
    // The window; `start` runs on its timer's first tick and on every click of its button.
    virtual std::unique_ptr<ScanSurface> createWindow(std::function<void()> start) const = 0;
    // The size prompt (OK and Cancel; closing it counts as Cancel): true for OK.
    virtual bool askToContinue(QWidget* parent, const QString& text) const = 0;
    // The error box: critical icon, OK only.
    virtual void showError(QWidget* parent, const QString& text) const = 0;
    // The run-time error box, titled with the program's name.
    virtual void showRuntimeError(const QString& text) const = 0;

protected:
    ~WindowKit() = default;
};

inline constexpr char kWindowKitModule[] = "Orsel01ui.so";
inline constexpr char kWindowKitEntryPoint[] = "OrselWindowKit";
// The module's entry point, also linked in with the library orsel_window.
extern "C" const WindowKit* OrselWindowKit();
