// The companion module's one entry point: its widgets as the control asks for them.
#include "control/ui/lazypropertypage.h"
#include "control/ui/vorlaneface.h"
#include "control/vorlanewidgets.h"
#include "platform/automation/libraryentrypoints.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class CompanionWidgets final : public VorlaneWidgets {
public:
    QWidget* createFace(QWidget* parent) const override { return new VorlaneFace(parent); }

    std::unique_ptr<automation::PropertyPage> createPropertyPage() const override
    {
        return std::make_unique<LazyPropertyPage>();
    }

    void showNotice(const QByteArray& text) const override
    {
        QMessageBox::information(nullptr, QCoreApplication::applicationName(),
                                 QString::fromLatin1(text), QMessageBox::Ok);
    }
};

} // namespace

AUTOMATION_ENTRY_POINT const VorlaneWidgets* VorlaneWidgetsInstance()
{
    static const CompanionWidgets widgets;
    return &widgets;
}
