// A library whose registration entry points fail and which carries no type information: what
// regsvr and typelib-dump must report rather than hide.
#include "platform/automation/libraryentrypoints.h"

AUTOMATION_ENTRY_POINT automation::HResult DllRegisterServer()
{
    return automation::ClassRegistrationFailed;
}

AUTOMATION_ENTRY_POINT automation::HResult DllUnregisterServer()
{
    return automation::ClassRegistrationFailed;
}
