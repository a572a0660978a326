// The shipped library finds its companion beside its own file, wherever the host loaded it from.
#include "control/companionmodule.h"
#include "control/vorlanewidgets.h"
#include "platform/modulelibrary.h"

namespace {

struct LoadedWidgets {
    const VorlaneWidgets* widgets = nullptr;
    QByteArray failure;
};

LoadedWidgets loadWidgets()
{
    LoadedWidgets loaded;
    const QString path = companionModulePath(kVorlaneWidgetsModule, &loaded.failure);
    if (!path.isEmpty()) {
        loaded.widgets = platform::loadModuleKit<VorlaneWidgets>(path, kVorlaneWidgetsEntryPoint,
                                                                 &loaded.failure);
    }
    return loaded;
}

} // namespace

const VorlaneWidgets* vorlaneWidgets(QByteArray* failure)
{
    // Once: a module that is missing is not looked for again on every call.
    static const LoadedWidgets loaded = loadWidgets();
    if (failure) {
        *failure = loaded.failure;
    }
    return loaded.widgets;
}
