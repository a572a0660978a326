// Dispatch: the late-bound interface of every automation object.
#pragma once

#include "platform/automation/callresult.h"
#include "platform/automation/memberinfo.h"
#include "platform/automation/refcounted.h"
#include "platform/automation/typeinfo.h"
#include "platform/automation/variant.h"

#include <QByteArrayView>
#include <optional>
#include <span>

namespace automation {

class ConnectionPoint;
class EmbeddedControl;
class PropertyPage;

// Hosts call an object only by member id and kind, with variants. Errors come back in the
// CallResult, never as exceptions. Calls come on the host's one thread.
class Dispatch : public RefCounted {
public:
    // The object's interface: its members, ids, types and help strings.
    virtual const InterfaceInfo& interfaceInfo() const = 0;

    // Calls a member. `args` are in-out: the new value of a by-reference parameter is written back
    // into args[i]. A put's new value is the last argument. Errors: ObjectDoesntSupport for an id
    // and kind the interface lacks, WrongArgumentsOrInvalidAssignment for a wrong argument count,
    // and whatever run-time error the member itself raises.
    virtual CallResult invoke(qint32 dispid, MemberKind kind, std::span<Variant> args) = 0;

    // Where the host advises its event sink; null for an object without events.
    virtual ConnectionPoint* connectionPoint() { return nullptr; }

    // The container calls of an object placed as a control; null for other objects.
    virtual EmbeddedControl* embeddedControl() { return nullptr; }

    // The settings page of an object that is one; null for other objects.
    virtual PropertyPage* propertyPage() { return nullptr; }

    // The id of a member named so in any letter case, or nothing.
    std::optional<qint32> idOfName(QByteArrayView name) const;

    // Shorthands for invoke: a get without arguments; a put of one value.
    CallResult get(qint32 dispid);
    CallResult put(qint32 dispid, Variant value);
};

// Checks a call against an interface table. Returns null with `error` set to ObjectDoesntSupport
// when no member has this id and kind, or to WrongArgumentsOrInvalidAssignment when the argument
// count does not fit (a put takes the member's parameters plus the value); otherwise the member.
const MemberInfo* validateCall(const InterfaceInfo& info, qint32 dispid, MemberKind kind,
                               std::size_t argumentCount, RuntimeError* error);

} // namespace automation
