// Checking a bound accessor against its row.
#include "platform/automation/memberbinding.h"

namespace automation {

bool fitsMember(const AccessorSignature& signature, const MemberInfo& member)
{
    if (signature.type != member.type || signature.paramCount != member.paramCount)
        return false;
    for (int i = 0; i < member.paramCount; ++i) {
        const ParamInfo& param = member.params[i];
        if (signature.params[i] != param.type || (signature.writes[i] && !param.byRef))
            return false;
    }
    return true;
}

} // namespace automation
