// Module file look-up through the dynamic loader.
#include "platform/automation/modulepath.h"

#include <QFileInfo>
#include <dlfcn.h>

namespace automation {

QString modulePath(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
}

} // namespace automation
