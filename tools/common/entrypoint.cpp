// Loading a library by path and resolving one entry point.
#include "tools/common/entrypoint.h"

#include <QFileInfo>
#include <QLibrary>

namespace tools {

QString absoluteLibraryPath(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

QFunctionPointer resolveEntryPoint(const QString& path, const char* symbol, QByteArray* error)
{
    const QString absolute = absoluteLibraryPath(path);
    const QByteArray shown = '"' + absolute.toLocal8Bit() + '"';
    // QLibrary would otherwise try other suffixes and prefixes and report a confusing name.
    if (!QFileInfo(absolute).isFile()) {
        *error = "the library " + shown + " does not exist";
        return nullptr;
    }
    QLibrary library(absolute);
    if (!library.load()) {
        *error =
            "the library " + shown + " cannot be loaded: " + library.errorString().toLocal8Bit();
        return nullptr;
    }
    const QFunctionPointer function = library.resolve(symbol);
    if (!function) {
        *error = "the library " + shown + " has no entry point " + symbol;
        return nullptr;
    }
    error->clear();
    return function;
}

} // namespace tools
