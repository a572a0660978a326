// The page's layout as data, loading by name and the apply that stops at the first failure.
#include "control/ui/vorlanepropertypage.h"

#include "platform/automation/conversions.h"

#include <QLabel>
#include <QLineEdit>
#include <array>
#include <optional>

using automation::CallResult;
using automation::Dispatch;
using automation::Ref;
using automation::Variant;

namespace {

enum class Kind { TextBox, Label };

struct PageControl {
    const char* name;
    Kind kind;
    const char* caption;
    int left, top, width, height; // twips
    int tabIndex;
};

// In creation order. A box is bound to the property named as the box without its "txt".
constexpr std::array<PageControl, 16> kControls = {{
    {"txtDebugFile", Kind::TextBox, "", 3000, 1065, 2700, 330, 15},
    {"txtDebugMode", Kind::TextBox, "", 3000, 420, 2700, 330, 13},
    {"txtVersion", Kind::TextBox, "", 3000, 3000, 2700, 330, 11},
    {"txtPOPTimeout", Kind::TextBox, "", 90, 2970, 2700, 330, 9},
    {"txtPOPPassword", Kind::TextBox, "", 90, 2320, 2700, 330, 7},
    {"txtPOPUsername", Kind::TextBox, "", 90, 1670, 2700, 330, 5},
    {"txtPOPPort", Kind::TextBox, "", 90, 1020, 2700, 330, 3},
    {"txtPOPHostname", Kind::TextBox, "", 90, 370, 2700, 330, 1},
    {"lblDebugFile", Kind::Label, "DebugFile:", 3000, 825, 2700, 240, 14},
    {"lblDebugMode", Kind::Label, "DebugMode:", 3000, 165, 2700, 240, 12},
    {"lblVersion", Kind::Label, "Version:", 3120, 2640, 2700, 240, 10},
    {"lblPOPTimeout", Kind::Label, "POPTimeout:", 90, 2720, 2700, 240, 8},
    {"lblPOPPassword", Kind::Label, "POPPassword:", 90, 2070, 2700, 240, 6},
    {"lblPOPUsername", Kind::Label, "POPUsername:", 90, 1420, 2700, 240, 4},
    {"lblPOPPort", Kind::Label, "POPPort:", 90, 770, 2700, 240, 2},
    {"lblPOPHostname", Kind::Label, "POPHostname:", 90, 120, 2700, 240, 0},
}};

// Tab indexes index an array below: each of 0 to 15 exactly once.
constexpr bool tabIndexesArePermutation()
{
    std::array<bool, kControls.size()> seen{};
    for (const PageControl& control : kControls) {
        if (control.tabIndex < 0 || control.tabIndex >= int(seen.size()) || seen[control.tabIndex])
            return false;
        seen[control.tabIndex] = true;
    }
    return true;
}
static_assert(tabIndexesArePermutation());

// The order of both load and apply: the control's Version put shows its box after DebugFile
// and DebugMode are written and before the connection settings are.
constexpr std::array<const char*, 8> kBoundProperties = {"DebugFile",  "DebugMode",   "Version",
                                                         "POPTimeout", "POPPassword", "POPUsername",
                                                         "POPPort",    "POPHostname"};

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidthTwips = 5925;
constexpr int kClientHeightTwips = 3495;

// Rounded to the nearest pixel: several positions are not whole pixels.
constexpr int pixelsFromTwips(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect pixelRect(const PageControl& c)
{
    return QRect(pixelsFromTwips(c.left), pixelsFromTwips(c.top), pixelsFromTwips(c.width),
                 pixelsFromTwips(c.height));
}

} // namespace

VorlanePropertyPage::VorlanePropertyPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Vorlane_Property_Page"));
    setWindowTitle(QStringLiteral("Vorlane_Property_Page"));
    setFixedSize(pixelsFromTwips(kClientWidthTwips), pixelsFromTwips(kClientHeightTwips));
    createControls();
    orderByTabIndex();
}

void VorlanePropertyPage::createControls()
{
    for (const PageControl& control : kControls) {
        QWidget* widget = nullptr;
        if (control.kind == Kind::TextBox) {
            auto* box = new QLineEdit(this);
            connect(box, &QLineEdit::textChanged, this, [this] { m_changed = true; });
            widget = box;
        } else {
            widget = new QLabel(QString::fromLatin1(control.caption), this);
        }
        widget->setObjectName(QString::fromLatin1(control.name));
        widget->setGeometry(pixelRect(control));
    }
}

// Labels take no focus; each one's tab index, just before its box's, makes the box its buddy.
void VorlanePropertyPage::orderByTabIndex()
{
    std::array<QWidget*, kControls.size()> byTabIndex{};
    for (const PageControl& control : kControls) {
        byTabIndex[control.tabIndex] =
            findChild<QWidget*>(QString::fromLatin1(control.name), Qt::FindDirectChildrenOnly);
    }
    // The chain starts at the page, so that the first box by tab index is the first after it.
    // setTabOrder ignores a page without focus, and sees the focus chain as a ring, so it would
    // leave the first-created box first; the page takes focus only while the chain is built.
    setFocusPolicy(Qt::TabFocus);
    QWidget* previousBox = this;
    for (std::size_t i = 0; i < byTabIndex.size(); ++i) {
        if (auto* label = qobject_cast<QLabel*>(byTabIndex[i])) {
            if (i + 1 < byTabIndex.size())
                label->setBuddy(byTabIndex[i + 1]);
            continue;
        }
        setTabOrder(previousBox, byTabIndex[i]);
        previousBox = byTabIndex[i];
    }
    setFocusPolicy(Qt::NoFocus);
}

QLineEdit* VorlanePropertyPage::boxOf(const char* property) const
{
    return findChild<QLineEdit*>(QLatin1String("txt") + QLatin1String(property),
                                 Qt::FindDirectChildrenOnly);
}

void VorlanePropertyPage::setObjects(const QList<Ref<Dispatch>>& objects)
{
    m_object = objects.isEmpty() ? Ref<Dispatch>() : objects.first();
    if (!m_object)
        return;
    for (const char* property : kBoundProperties) {
        const std::optional<qint32> id = m_object->idOfName(property);
        if (!id)
            continue;
        const CallResult value = m_object->get(*id);
        if (!value.ok())
            continue;
        const auto text = automation::toString(value.value);
        if (text.ok())
            boxOf(property)->setText(QString::fromLatin1(text.value));
    }
}

CallResult VorlanePropertyPage::apply()
{
    // Held locally: the Version put runs a modal event loop in which the selection may change.
    const Ref<Dispatch> object = m_object;
    if (!object)
        return CallResult::success();
    for (const char* property : kBoundProperties) {
        const std::optional<qint32> id = object->idOfName(property);
        if (!id)
            return CallResult::failure(automation::RuntimeError::ObjectDoesntSupport);
        const QByteArray text = boxOf(property)->text().toLatin1();
        CallResult result = object->put(*id, Variant::fromString(text));
        if (!result.ok())
            return result;
    }
    m_changed = false;
    return CallResult::success();
}
