// The control's widgets: its design-time face, its property page and its modal notice. They live
// in the companion module VRLN401ui.so beside the library, loaded only when a host asks for one of
// them, so that a host without a window (a headless scan) loads no Qt Gui or Widgets library.
#pragma once

#include <QByteArray>
#include <memory>

class QWidget;

namespace automation {
class PropertyPage;
}

class VorlaneWidgets {
public:
    // The face, 32 by 32 pixels (needs a QApplication); the caller or `parent` owns it.
    virtual QWidget* createFace(QWidget* parent) const = 0;
    // The page's widget side: it makes its widget when the host first asks for it, so it can be
    // created and released without a window system.
    virtual std::unique_ptr<automation::PropertyPage> createPropertyPage() const = 0;
    // A modal box with the application's name as title and an OK button (needs a QApplication).
    virtual void showNotice(const QByteArray& text) const = 0;

protected:
    ~VorlaneWidgets() = default;
};

// The companion's file name and its one entry point, which returns its VorlaneWidgets.
inline constexpr char kVorlaneWidgetsModule[] = "VRLN401ui.so";
inline constexpr char kVorlaneWidgetsEntryPoint[] = "VorlaneWidgetsInstance";
extern "C" const VorlaneWidgets* VorlaneWidgetsInstance();

// The widgets, from the folder of the module that holds the control; loaded on the first call and
// kept. Null when they cannot be loaded, with *failure (when given) saying why.
const VorlaneWidgets* vorlaneWidgets(QByteArray* failure = nullptr);
