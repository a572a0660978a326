// Run-time error numbers of late-bound calls and their texts, as classic BASIC hosts know them.
#pragma once

#include <QByteArray>

namespace automation {

// The errors this layer raises itself. The numbers are the ones hosts and scripts test for, so
// they must not change.
enum class RuntimeError : int {
    None = 0,
    InvalidProcedureCall = 5,
    Overflow = 6,
    TypeMismatch = 13,
    InvalidUseOfNull = 94,
    CantCreateObject = 429,
    ObjectDoesntSupport = 438,
    WrongArgumentsOrInvalidAssignment = 450,
};

// The number of a run-time error as a call reports it: one of the above, or a number an object
// raises of its own, which is carried as it is.
class ErrorNumber {
public:
    constexpr ErrorNumber(RuntimeError error = RuntimeError::None) : m_number(int(error)) {}
    static constexpr ErrorNumber of(int number)
    {
        ErrorNumber error;
        error.m_number = number;
        return error;
    }

    constexpr int number() const { return m_number; }
    constexpr explicit operator int() const { return m_number; }

    friend constexpr bool operator==(ErrorNumber, ErrorNumber) = default;

private:
    int m_number = 0;
};

// The standard text of an error ("Type mismatch"). Any other number gives "Application-defined
// or object-defined error"; None gives "".
QByteArray runtimeErrorText(ErrorNumber error);

} // namespace automation
