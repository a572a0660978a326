// Loading a module by its exact path (QLibrary would also try other names for it), never unloaded.
#include "platform/modulelibrary.h"

#include <QFile>
#include <dlfcn.h>

namespace platform {

QFunctionPointer loadModuleEntry(const QString& path, const char* entryPoint, QByteArray* failure)
{
    // Every symbol bound now: a module that does not fit fails here, not at some later call.
    void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    QByteArray why;
    QFunctionPointer entry = nullptr;
    if (!module) {
        why = dlerror();
    } else if (!(entry = reinterpret_cast<QFunctionPointer>(dlsym(module, entryPoint)))) {
        why = QFile::encodeName(path) + ": no entry point " + entryPoint;
    }
    if (failure) {
        *failure = why;
    }
    return entry;
}

} // namespace platform
