// Look-ups in type information.
#include "platform/automation/typeinfo.h"

#include "platform/automation/guid.h"

namespace automation {

std::optional<qint32> idOfName(const InterfaceInfo& info, QByteArrayView name)
{
    for (const MemberInfo& member : info.members) {
        if (name.compare(QByteArrayView(member.name), Qt::CaseInsensitive) == 0)
            return member.dispid;
    }
    return std::nullopt;
}

const ClassInfo* findClass(const TypeLibraryInfo& library, QByteArrayView guid)
{
    for (const ClassInfo* info : library.classes) {
        if (sameGuid(guid, info->guid))
            return info;
    }
    return nullptr;
}

} // namespace automation
