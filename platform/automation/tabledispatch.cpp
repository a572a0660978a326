// Table-checked dispatch.
#include "platform/automation/tabledispatch.h"

#include "platform/automation/conversions.h"
#include "platform/automation/typedvalue.h"

#include <array>

namespace automation {

namespace {

using Arguments = std::array<Variant, maxParams + 1>;

ValueType declaredType(const MemberInfo& member, std::size_t index)
{
    return int(index) < member.paramCount ? member.params[index].type : member.type;
}

} // namespace

CallResult TableDispatch::invoke(qint32 dispid, MemberKind kind, std::span<Variant> args)
{
    RuntimeError error = RuntimeError::None;
    const MemberInfo* member = validateCall(interfaceInfo(), dispid, kind, args.size(), &error);
    if (!member)
        return CallResult::failure(error);
    Arguments converted;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool asGiven = kind == MemberKind::PropertyPut && putIgnoresValue(dispid);
        const Converted<Variant> value = asGiven ? Converted<Variant>::success(args[i])
                                                 : coerce(args[i], declaredType(*member, i));
        if (!value.ok())
            return CallResult::failure(value.error);
        converted[i] = value.value;
    }
    Arguments typed = converted;
    CallResult result = invokeMember(*member, std::span(typed.data(), args.size()));
    for (int i = 0; i < member->paramCount; ++i) {
        if (member->params[i].byRef && typed[i] != converted[i])
            args[i] = typed[i];
    }
    const bool givesValue = kind != MemberKind::PropertyPut;
    if (result.ok() && givesValue && !holdsType(result.value, member->type))
        return CallResult::failure(RuntimeError::TypeMismatch, QByteArray(member->name) + " gave " +
                                                                   result.value.typeName() +
                                                                   " where its declaration names " +
                                                                   valueTypeName(member->type));
    return result;
}

} // namespace automation
