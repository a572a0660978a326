// CallResult: what a late-bound call gives back, its value or its run-time error.
#pragma once

#include "platform/automation/runtimeerror.h"
#include "platform/automation/variant.h"

#include <QByteArray>

namespace automation {

// Errors travel in this value, never as C++ exceptions, so they survive library boundaries.
struct CallResult {
    ErrorNumber error = RuntimeError::None;
    QByteArray description; // for people; the error's standard text when the callee gave none
    Variant value;          // a get's value or a method's result; Empty otherwise

    bool ok() const { return error == RuntimeError::None; }

    static CallResult success(Variant value = {});
    // An empty description is replaced by runtimeErrorText(error).
    static CallResult failure(ErrorNumber error, QByteArray description = {});
};

} // namespace automation
