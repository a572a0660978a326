#include "control/companionmodule.h"

#include "platform/automation/modulepath.h"

#include <QDir>
#include <QFileInfo>

QString companionModulePath(const char* fileName, QByteArray* failure)
{
    const QString library =
        automation::modulePath(reinterpret_cast<const void*>(&companionModulePath));
    if (library.isEmpty()) {
        if (failure) {
            *failure = "the folder of the control's library is not known";
        }
        return {};
    }
    return QFileInfo(library).dir().filePath(QString::fromLatin1(fileName));
}
