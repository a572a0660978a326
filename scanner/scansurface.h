// Where the scan run shows itself: the window `Scan`, or standard output for headless runs.
#pragma once

#include <QString>

class QWidget;

class ScanSurface {
public:
    virtual ~ScanSurface() = default;

    // A status text (CR as line break); `labelText`, when given, is a shortened form for a
    // fixed-size label. Every text also goes to standard output whole.
    virtual void setInfo(const QString& text, const QString& labelText = QString()) = 0;
    // Whether `text` shows whole where status texts are shown.
    virtual bool fitsLabel(const QString& text) const = 0;
    // The layering step: topmost or not.
    virtual void setTopmost(bool topmost) = 0;
    // Enables or disables the start button, so that no second run starts during a pump.
    virtual void setStartEnabled(bool enabled) = 0;
    // The parent of the run's boxes; null when there is no window.
    virtual QWidget* boxParent() = 0;
};
