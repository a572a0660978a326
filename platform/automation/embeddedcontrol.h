// EmbeddedControl: the calls a control container makes on a control besides its dispatch
// interface: settings restore and save, size negotiation, and its design-time face.
#pragma once

#include "platform/automation/callresult.h"

#include <QByteArrayList>
#include <QSize>

class QWidget;

namespace automation {

class PropertyBag;

class EmbeddedControl {
public:
    virtual ~EmbeddedControl();

    // A newly placed instance: the defaults of the persisted settings.
    virtual void initProperties() = 0;
    // A saved instance recreated: reads its persisted keys; a missing key reads as Empty. A
    // value that cannot be converted ends the restore with that error.
    virtual CallResult readProperties(const PropertyBag& bag) = 0;
    // Saving the instance: writes every persisted key with its type.
    virtual void writeProperties(PropertyBag& bag) const = 0;
    // The host asks for a size in pixels; the control answers with the size it takes.
    virtual QSize resize(QSize requestedPixels) = 0;
    // The face shown in a design environment, created only when a host asks (needs a
    // QApplication). The caller owns it (or its parent does). Null when the control cannot show
    // one.
    virtual QWidget* createFace(QWidget* parent) = 0;
    // The class GUIDs of the property pages a design environment offers for this control.
    virtual QByteArrayList propertyPages() const = 0;
};

} // namespace automation

namespace automation {

// The extent a host stores for a size in pixels, in hundredths of a millimetre (1 inch = 1440
// twips = 2540 hundredths of a millimetre), rounded to the nearest unit.
constexpr int himetricFromPixels(int pixels, int twipsPerPixel = 15)
{
    return (pixels * twipsPerPixel * 2540 + 720) / 1440;
}

} // namespace automation
