// The scan run's surface without a window: every status text on standard output.
#pragma once

#include "scanner/scansurface.h"

class HeadlessSurface : public ScanSurface {
public:
    void setInfo(const QString& text, const QString& labelText = QString()) override;
    bool fitsLabel(const QString&) const override { return true; }
    void setTopmost(bool) override {}
    void setStartEnabled(bool) override {}
    QWidget* boxParent() override { return nullptr; }
};
