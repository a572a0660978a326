// ShellFailure: what a script line reports instead of a result, a run-time error number and text.
#pragma once

#include "platform/automation/runtimeerror.h"

#include <QByteArray>

namespace vorlaneshell {

// Numbers are run-time error numbers, so scripts test for the ones they know from other hosts.
struct ShellFailure {
    int number = 0;
    QByteArray text;

    static ShellFailure of(automation::ErrorNumber error, QByteArray text = {})
    {
        return {error.number(),
                text.isEmpty() ? automation::runtimeErrorText(error) : std::move(text)};
    }
};

// A line the shell cannot read: "Invalid procedure call or argument", with what is wrong.
inline ShellFailure syntaxFailure(QByteArray what)
{
    return ShellFailure::of(automation::RuntimeError::InvalidProcedureCall, std::move(what));
}

// A call before `create` or after `release`: the classic error of a variable set to Nothing.
inline constexpr int kObjectNotSet = 91;

} // namespace vorlaneshell
