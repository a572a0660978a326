// The shipped library finds its companion beside its own file, wherever the host loaded it from.
#include "control/vorlanewidgets.h"
#include "platform/automation/modulepath.h"
#include "platform/modulelibrary.h"

#include <QDir>
#include <QFileInfo>

namespace {

struct LoadedWidgets {
    const VorlaneWidgets* widgets = nullptr;
    QByteArray failure;
};

LoadedWidgets loadWidgets()
{
    const QString library = automation::modulePath(reinterpret_cast<const void*>(&loadWidgets));
    if (library.isEmpty()) {
        return {nullptr, "the folder of the control's library is not known"};
    }
    const QString path =
        QFileInfo(library).dir().filePath(QString::fromLatin1(kVorlaneWidgetsModule));
    LoadedWidgets loaded;
    loaded.widgets =
        platform::loadModuleKit<VorlaneWidgets>(path, kVorlaneWidgetsEntryPoint, &loaded.failure);
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
