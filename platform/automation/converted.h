// The result of a conversion: a value or the run-time error that prevented it.
#pragma once

#include "platform/automation/runtimeerror.h"

#include <utility>

namespace automation {

// On failure `value` holds T's default, never a partial result; callers check ok() first.
template <class T> struct Converted {
    T value{};
    RuntimeError error = RuntimeError::None;

    bool ok() const { return error == RuntimeError::None; }

    static Converted success(T value) { return Converted{std::move(value), RuntimeError::None}; }
    static Converted failure(RuntimeError error) { return Converted{T{}, error}; }
};

} // namespace automation
