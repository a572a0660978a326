// Texts of the run-time errors.
#include "platform/automation/runtimeerror.h"

namespace automation {

QByteArray runtimeErrorText(ErrorNumber error)
{
    switch (error.number()) {
    case int(RuntimeError::None):
        return "";
    case int(RuntimeError::InvalidProcedureCall):
        return "Invalid procedure call or argument";
    case int(RuntimeError::Overflow):
        return "Overflow";
    case int(RuntimeError::TypeMismatch):
        return "Type mismatch";
    case int(RuntimeError::InvalidUseOfNull):
        return "Invalid use of Null";
    case int(RuntimeError::CantCreateObject):
        return "ActiveX component can't create object";
    case int(RuntimeError::ObjectDoesntSupport):
        return "Object doesn't support this property or method";
    case int(RuntimeError::WrongArgumentsOrInvalidAssignment):
        return "Wrong number of arguments or invalid property assignment";
    }
    return "Application-defined or object-defined error";
}

} // namespace automation
