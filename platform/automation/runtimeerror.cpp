// Texts of the run-time errors.
#include "platform/automation/runtimeerror.h"

namespace automation {

namespace {

const char* knownText(RuntimeError error)
{
    switch (error) {
    case RuntimeError::None:
        return "";
    case RuntimeError::InvalidProcedureCall:
        return "Invalid procedure call or argument";
    case RuntimeError::Overflow:
        return "Overflow";
    case RuntimeError::OutOfMemory:
        return "Out of memory";
    case RuntimeError::TypeMismatch:
        return "Type mismatch";
    case RuntimeError::BadFileNameOrNumber:
        return "Bad file name or number";
    case RuntimeError::FileNotFound:
        return "File not found";
    case RuntimeError::BadFileMode:
        return "Bad file mode";
    case RuntimeError::FileAlreadyOpen:
        return "File already open";
    case RuntimeError::DeviceIoError:
        return "Device I/O error";
    case RuntimeError::BadFileName:
        return "Bad file name";
    case RuntimeError::PermissionDenied:
        return "Permission denied";
    case RuntimeError::PathFileAccessError:
        return "Path/File access error";
    case RuntimeError::PathNotFound:
        return "Path not found";
    case RuntimeError::InvalidUseOfNull:
        return "Invalid use of Null";
    case RuntimeError::CantCreateObject:
        return "ActiveX component can't create object";
    case RuntimeError::ObjectDoesntSupport:
        return "Object doesn't support this property or method";
    case RuntimeError::AutomationError:
        return "Automation error";
    case RuntimeError::WrongArgumentsOrInvalidAssignment:
        return "Wrong number of arguments or invalid property assignment";
    }
    return nullptr;
}

} // namespace

QByteArray runtimeErrorText(RuntimeError error)
{
    const char* text = knownText(error);
    return text ? QByteArray(text) : QByteArray("Application-defined or object-defined error");
}

} // namespace automation
