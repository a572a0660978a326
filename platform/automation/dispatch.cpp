// Dispatch helpers shared by every object.
#include "platform/automation/dispatch.h"

namespace automation {

std::optional<qint32> Dispatch::idOfName(QByteArrayView name) const
{
    return automation::idOfName(interfaceInfo(), name);
}

CallResult Dispatch::get(qint32 dispid)
{
    return invoke(dispid, MemberKind::PropertyGet, {});
}

CallResult Dispatch::put(qint32 dispid, Variant value)
{
    return invoke(dispid, MemberKind::PropertyPut, std::span<Variant>(&value, 1));
}

const MemberInfo* validateCall(const InterfaceInfo& info, qint32 dispid, MemberKind kind,
                               std::size_t argumentCount, RuntimeError* error)
{
    const MemberInfo* member = findMember(info, dispid, kind);
    if (!member) {
        *error = RuntimeError::ObjectDoesntSupport;
        return nullptr;
    }
    const std::size_t expected =
        std::size_t(member->paramCount) + (kind == MemberKind::PropertyPut ? 1 : 0);
    if (argumentCount != expected) {
        *error = RuntimeError::WrongArgumentsOrInvalidAssignment;
        return nullptr;
    }
    *error = RuntimeError::None;
    return member;
}

} // namespace automation
