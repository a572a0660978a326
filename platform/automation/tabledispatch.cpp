// Table-checked dispatch.
#include "platform/automation/tabledispatch.h"

namespace automation {

CallResult TableDispatch::invoke(qint32 dispid, MemberKind kind, std::span<Variant> args)
{
    RuntimeError error = RuntimeError::None;
    const MemberInfo* member = validateCall(interfaceInfo(), dispid, kind, args.size(), &error);
    if (!member)
        return CallResult::failure(error);
    return invokeMember(*member, args);
}

} // namespace automation
