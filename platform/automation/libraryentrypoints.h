// The four C entry points of an automation library: their names, their types as a host resolves
// them, and the export marker a library defines them with.
#pragma once

#include "platform/automation/classfactory.h"
#include "platform/automation/hresult.h"
#include "platform/automation/typeinfo.h"

namespace automation {

// DllCanUnloadNow: S_OK_ when no object is alive and no lock held, else S_FALSE_.
using DllCanUnloadNowFunction = HResult (*)();
// DllGetClassObject: a factory with one reference for the class "{GUID}" in *factory (the caller
// adopts it); ClassNotAvailable for a class the library does not have.
using DllGetClassObjectFunction = HResult (*)(const char* classGuid, ClassFactory** factory);
// DllRegisterServer / DllUnregisterServer: enter the library's classes, ProgIDs and type library
// into the class registry, or remove them. S_OK_ or a failure code.
using DllRegisterServerFunction = HResult (*)();
using DllUnregisterServerFunction = HResult (*)();

// The library's type-library resource: its type information, readable without creating
// anything (what a type-library browser shows). Optional: libraries without it have no types.
using TypeLibraryResourceFunction = const TypeLibraryInfo* (*)();
inline constexpr char typeLibraryResourceName[] = "AutomationTypeLibrary";

inline constexpr char dllCanUnloadNowName[] = "DllCanUnloadNow";
inline constexpr char dllGetClassObjectName[] = "DllGetClassObject";
inline constexpr char dllRegisterServerName[] = "DllRegisterServer";
inline constexpr char dllUnregisterServerName[] = "DllUnregisterServer";

} // namespace automation

// Put before each entry point's definition so that it is exported unmangled even from a library
// built with hidden visibility.
#define AUTOMATION_ENTRY_POINT extern "C" __attribute__((visibility("default")))
