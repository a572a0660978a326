// TableDispatch: a Dispatch whose calls are checked and converted against its interface table
// before the object sees them.
#pragma once

#include "platform/automation/dispatch.h"

namespace automation {

// The one place where a member's declared types act on a call. The object only maps a known member
// to its code: unknown ids and kinds and wrong argument counts never reach invokeMember (see
// validateCall for the errors); every parameter and a put's value arrive converted to the types
// the row declares, and a value that cannot be converted fails the call before the object sees
// it. A get's value and a method's result must be of the declared type. A by-reference argument
// is written back to the caller only when the object changed it.
class TableDispatch : public Dispatch {
public:
    CallResult invoke(qint32 dispid, MemberKind kind, std::span<Variant> args) final;

protected:
    // `args` has exactly the count the member declares (a put: plus the value, last), each of its
    // declared type. A by-reference parameter's new value is left in its element.
    virtual CallResult invokeMember(const MemberInfo& member, std::span<Variant> args) = 0;

    // A put that takes any value unconverted: a read-only property whose put only tells the user
    // so must not fail on what it is given.
    virtual bool putIgnoresValue(qint32 dispid) const
    {
        Q_UNUSED(dispid);
        return false;
    }
};

} // namespace automation
