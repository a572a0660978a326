// RecordingDispatch: passes every call on to another object and logs it as "get NAME" or
// "put NAME", so that tests see which properties were read and written, and in which order.
#pragma once

#include "platform/automation/dispatch.h"
#include "platform/automation/ref.h"

#include <string>
#include <vector>

class RecordingDispatch final : public automation::Dispatch {
public:
    RecordingDispatch(automation::Ref<automation::Dispatch> target, std::vector<std::string>& log)
        : m_target(std::move(target)), m_log(log)
    {
    }

    const automation::InterfaceInfo& interfaceInfo() const override
    {
        return m_target->interfaceInfo();
    }

    automation::CallResult invoke(qint32 dispid, automation::MemberKind kind,
                                  std::span<automation::Variant> args) override
    {
        const char* verb = kind == automation::MemberKind::PropertyGet   ? "get "
                           : kind == automation::MemberKind::PropertyPut ? "put "
                                                                         : "call ";
        m_log.push_back(verb + nameOf(dispid));
        return m_target->invoke(dispid, kind, args);
    }

private:
    std::string nameOf(qint32 dispid) const
    {
        for (const automation::MemberInfo& member : interfaceInfo().members) {
            if (member.dispid == dispid)
                return member.name;
        }
        return std::to_string(dispid);
    }

    automation::Ref<automation::Dispatch> m_target;
    std::vector<std::string>& m_log;
};
