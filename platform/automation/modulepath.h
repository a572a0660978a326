// The file of the loaded module (library or program) that contains a given address: how a library
// finds its own absolute path to register itself.
#pragma once

#include <QString>

namespace automation {

// The absolute, canonical path of the module containing `address` (pass the address of one of
// the module's own functions); an empty string when the system cannot tell.
QString modulePath(const void* address);

} // namespace automation
