// Resolving a C entry point of a library the way the tools load one: by absolute path, once.
#pragma once

#include <QByteArray>
#include <QFunctionPointer>
#include <QString>

namespace tools {

// Loads the library at `path` and resolves `symbol`. A relative path is taken from the current
// folder (never searched for on the loader's path), so a library that records its own location
// records an absolute one. The library stays loaded for the rest of the process.
// Returns null on failure with `*error` set to one line for people: the file does not exist, the
// loader's message, or the missing entry point.
QFunctionPointer resolveEntryPoint(const QString& path, const char* symbol, QByteArray* error);

// The absolute form of a library path as resolveEntryPoint loads it.
QString absoluteLibraryPath(const QString& path);

} // namespace tools
