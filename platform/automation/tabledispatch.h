// TableDispatch: a Dispatch whose calls are checked against its interface table before the object
// sees them.
#pragma once

#include "platform/automation/dispatch.h"

namespace automation {

// The object only maps a known member to its code: unknown ids and kinds and wrong argument
// counts never reach invokeMember (see validateCall for the errors).
class TableDispatch : public Dispatch {
public:
    CallResult invoke(qint32 dispid, MemberKind kind, std::span<Variant> args) final;

protected:
    // `args` has exactly the count the member declares (a put: plus the value, last).
    virtual CallResult invokeMember(const MemberInfo& member, std::span<Variant> args) = 0;
};

} // namespace automation
