// GMime's headers, which bring GLib's, next to Qt's: GLib names a struct member `signals`, which
// Qt defines as a keyword macro.
#pragma once

#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

namespace scanner {

// GMime's one-time set-up, before any other call into it; safe to call again.
void initialiseGMime();

} // namespace scanner
