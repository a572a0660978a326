// Run-time error numbers of late-bound calls and their texts, as classic BASIC hosts know them.
#pragma once

#include <QByteArray>

namespace automation {

// The numbers are the ones hosts and scripts test for, so they must not change.
enum class RuntimeError : int {
    None = 0,
    InvalidProcedureCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    TypeMismatch = 13,
    BadFileNameOrNumber = 52,
    FileNotFound = 53,
    BadFileMode = 54,
    FileAlreadyOpen = 55,
    DeviceIoError = 57,
    BadFileName = 64,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
    InvalidUseOfNull = 94,
    CantCreateObject = 429,
    ObjectDoesntSupport = 438,
    AutomationError = 440,
    WrongArgumentsOrInvalidAssignment = 450,
};

// The standard text of an error ("Type mismatch"). A number outside the enumeration (an object may
// raise its own) gives "Application-defined or object-defined error"; None gives "".
QByteArray runtimeErrorText(RuntimeError error);

} // namespace automation
