// The scanner's window `Scan`: background picture, status label, hidden start button and the
// timer that starts the run one second after loading.
#pragma once

#include "scanner/scanhooks.h"
#include "scanner/scansurface.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

class Scan : public QWidget, public ScanSurface {
    Q_OBJECT
public:
    explicit Scan(QWidget* parent = nullptr);

    // The status label's text; every text set is also written to standard output, each CR as
    // a line feed, followed by a line feed. A `labelText` (a shortened form) is shown instead of
    // `text` in the label; standard output still gets the whole `text`.
    void setInfo(const QString& text, const QString& labelText = QString()) override;
    QString info() const;
    // Whether `text` (CR as line break) shows whole in the label, wrapped at its words.
    bool fitsLabel(const QString& text) const override;

    // Topmost or not; keeps place and size, shows the window without activating it.
    void setTopmost(bool topmost) override;
    void setStartEnabled(bool enabled) override;
    QWidget* boxParent() override { return this; }

    QLabel* lblInfo() const { return m_lblInfo; }
    QPushButton* command1() const { return m_command1; }
    QTimer* timer1() const { return m_timer1; }

    static constexpr int kClientWidth = 263;
    static constexpr int kClientHeight = 191;
    static QString initialInfo() { return QStringLiteral("Initializing E-Mail scan..."); }

signals:
    // The first tick of Timer1, after the timer has been disabled.
    void started();
    // Every status text as it is set, with its CRs as given.
    void infoChanged(const QString& text);

private:
    QLabel* m_image1;
    QLabel* m_lblInfo;
    QPushButton* m_command1;
    QTimer* m_timer1;
};
