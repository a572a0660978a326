// The control's static core, as in-process tests and tools link it: the widgets are linked in
// beside it, so nothing is loaded.
#include "control/vorlanewidgets.h"

const VorlaneWidgets* vorlaneWidgets(QByteArray* failure)
{
    if (failure) {
        failure->clear();
    }
    return VorlaneWidgetsInstance();
}
