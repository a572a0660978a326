// Creating an object by ProgID, as a host does: registry, library, class factory, instance.
#pragma once

#include "platform/automation/classregistry.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/ref.h"

#include <QByteArray>
#include <QByteArrayView>

namespace automation {

// Looks the ProgID up in the registry, loads the class's library (which then stays loaded for the
// rest of the process: objects and factories from it may outlive any handle), resolves its
// DllGetClassObject and asks the factory for an instance.
// Errors: null, *error = CantCreateObject (429) and *description naming the failed step: the
// ProgID is not registered (naming the files read); its entry or its class's is corrupt (naming
// the file); its class has no library entry; the library file does not exist or
// cannot be loaded (with the loader's message); the entry point is missing; the library does
// not provide the class (with the result code); the factory made no instance. `error` and
// `description` may be null; on success they are set to None and "".
Ref<Dispatch> createObject(const ClassRegistry& registry, QByteArrayView progId,
                           RuntimeError* error, QByteArray* description);

// The same with the per-user registry.
Ref<Dispatch> createObject(QByteArrayView progId, RuntimeError* error, QByteArray* description);

} // namespace automation
