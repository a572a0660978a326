// Modules loaded by path on first use: the parts of a program or library that only some runs need
// (a window, a decoder, a virus engine) stay out of the start of every other run.
#pragma once

#include <QByteArray>
#include <QFunctionPointer>
#include <QString>

namespace platform {

// Loads the shared module at `path` and resolves `entryPoint` in it. The module stays loaded for
// the rest of the process: what it made may outlive any handle. Null when the file cannot be
// loaded (a missing file, a library it needs missing) or has no such entry point, with *failure
// (when given) naming the file and the loader's reason.
QFunctionPointer loadModuleEntry(const QString& path, const char* entryPoint, QByteArray* failure);

// The same for a module whose one entry point returns its interface object `Kit`, which lives as
// long as the module.
template <class Kit>
const Kit* loadModuleKit(const QString& path, const char* entryPoint, QByteArray* failure)
{
    using Entry = const Kit* (*)();
    const auto entry = reinterpret_cast<Entry>(loadModuleEntry(path, entryPoint, failure));
    return entry ? entry() : nullptr;
}

} // namespace platform
