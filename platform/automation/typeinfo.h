// Type information: interfaces, classes and the type library, as constexpr data a library compiles
// in, and the look-ups hosts and dispatchers need.
#pragma once

#include "platform/automation/memberinfo.h"

#include <QByteArrayView>
#include <optional>
#include <span>

namespace automation {

struct InterfaceFlags {
    static constexpr unsigned Hidden = 0x1;        // not shown to people browsing the library
    static constexpr unsigned Dual = 0x2;          // callable late-bound and through its table
    static constexpr unsigned NonExtensible = 0x4; // no members beyond those described
    static constexpr unsigned DispatchOnly = 0x8;  // late-bound only (an event interface)
};

struct ClassFlags {
    static constexpr unsigned Control = 0x1; // meant to be placed on a host's window
};

struct InterfaceInfo {
    const char* name = nullptr;
    const char* guid = nullptr; // "{...}"
    unsigned flags = 0;         // InterfaceFlags
    std::span<const MemberInfo> members;
    const char* help = nullptr;
};

struct ClassInfo {
    const char* name = nullptr;
    const char* guid = nullptr;
    unsigned flags = 0; // ClassFlags
    const InterfaceInfo* defaultInterface = nullptr;
    const InterfaceInfo* defaultSource = nullptr; // the events it raises; null when none
};

struct TypeLibraryInfo {
    const char* name = nullptr;
    const char* guid = nullptr;
    int major = 0;
    int minor = 0;
    unsigned lcid = 0;
    const char* help = nullptr;
    std::span<const InterfaceInfo* const> interfaces;
    std::span<const ClassInfo* const> classes;
};

// The member with this id and kind, or null.
constexpr const MemberInfo* findMember(const InterfaceInfo& info, qint32 dispid, MemberKind kind)
{
    for (const MemberInfo& member : info.members) {
        if (member.dispid == dispid && member.kind == kind)
            return &member;
    }
    return nullptr;
}

// The id of a member named so in any letter case (ASCII), or nothing.
std::optional<qint32> idOfName(const InterfaceInfo& info, QByteArrayView name);

// The class with that GUID (any case, braces optional) or null.
const ClassInfo* findClass(const TypeLibraryInfo& library, QByteArrayView guid);

} // namespace automation
