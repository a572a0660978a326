// The window's kit: what a run with a window needs of Qt Widgets, and the module's entry point.
#include "scanner/scan.h"
#include "scanner/windowkit.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

class ScanWindowKit final : public WindowKit {
public:
    std::unique_ptr<QCoreApplication> createApplication(int& argc, char** argv) const override
    {
        return std::make_unique<QApplication>(argc, argv);
    }

    std::unique_ptr<ScanSurface> createWindow(std::function<void()> start) const override
    {
        auto window = std::make_unique<Scan>();
        QObject::connect(window.get(), &Scan::started, window.get(), start);
        QObject::connect(window->command1(), &QPushButton::clicked, window.get(), start);
        return window;
    }

    bool askToContinue(QWidget* parent, const QString& text) const override
    {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Alert!"), text,
                        QMessageBox::Ok | QMessageBox::Cancel, parent);
        box.setEscapeButton(QMessageBox::Cancel); // closing the box counts as Cancel
        return box.exec() == QMessageBox::Ok;
    }

    void showError(QWidget* parent, const QString& text) const override
    {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
                        parent);
        box.exec();
    }

    void showRuntimeError(const QString& text) const override
    {
        QMessageBox::critical(nullptr, QStringLiteral("Orsel01"), text);
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const WindowKit* OrselWindowKit()
{
    static const ScanWindowKit kit;
    return &kit;
}
