// Event lines named from the object's source interface.
#include "tools/vorlane-shell/eventprinter.h"

#include "tools/vorlane-shell/resultline.h"

namespace vorlaneshell {

void EventPrinter::invoke(qint32 dispid, std::span<automation::Variant> args)
{
    const automation::MemberInfo* member =
        m_events ? automation::findMember(*m_events, dispid, automation::MemberKind::Method)
                 : nullptr;
    const QByteArray name = member ? QByteArray(member->name) : '#' + QByteArray::number(dispid);
    m_output(eventLine(name, args));
}

} // namespace vorlaneshell
