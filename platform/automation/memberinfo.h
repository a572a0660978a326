// Members of an automation interface as constexpr data: one table per interface, read by the
// dispatcher, the name look-up and the type-information printer alike.
#pragma once

#include "platform/automation/valuetype.h"

#include <QtGlobal>
#include <array>
#include <cstdlib>
#include <initializer_list>
#include <span>

namespace automation {

enum class MemberKind { PropertyGet, PropertyPut, Method };

struct ParamInfo {
    const char* name = nullptr;
    ValueType type = ValueType::Variant;
    bool byRef = false; // the callee may write a new value back into the caller's argument
};

inline constexpr int maxParams = 3;

// `type` is the value of a get or a put, or the result of a method (Void: none). A get takes the
// parameters listed, a put takes them plus the new value, a method exactly them.
struct MemberInfo {
    qint32 dispid = 0;
    const char* name = nullptr;
    MemberKind kind = MemberKind::Method;
    ValueType type = ValueType::Void;
    std::array<ParamInfo, maxParams> params{};
    int paramCount = 0;
    const char* help = nullptr;
};

// "propget", "propput" or "method".
constexpr const char* memberKindName(MemberKind kind)
{
    switch (kind) {
    case MemberKind::PropertyGet:
        return "propget";
    case MemberKind::PropertyPut:
        return "propput";
    case MemberKind::Method:
        return "method";
    }
    return "?";
}

namespace detail {

// Not constexpr on purpose: reaching it while building a constexpr table is a compile error.
[[noreturn]] inline void tooManyParameters()
{
    std::abort();
}

constexpr char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

constexpr bool sameNameIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (asciiLower(*a) != asciiLower(*b))
            return false;
    }
    return *a == *b;
}

} // namespace detail

constexpr MemberInfo propGet(qint32 dispid, const char* name, ValueType type, const char* help)
{
    return MemberInfo{dispid, name, MemberKind::PropertyGet, type, {}, 0, help};
}

constexpr MemberInfo propPut(qint32 dispid, const char* name, ValueType type, const char* help)
{
    return MemberInfo{dispid, name, MemberKind::PropertyPut, type, {}, 0, help};
}

// At most maxParams parameters; more fail to compile in a constexpr table.
constexpr MemberInfo method(qint32 dispid, const char* name, ValueType result,
                            std::initializer_list<ParamInfo> params, const char* help)
{
    MemberInfo info{dispid, name, MemberKind::Method, result, {}, 0, help};
    if (params.size() > info.params.size())
        detail::tooManyParameters();
    for (const ParamInfo& param : params)
        info.params[info.paramCount++] = param;
    return info;
}

// For static_assert on a table: no (dispid, kind) pair appears twice.
constexpr bool hasUniqueIds(std::span<const MemberInfo> members)
{
    for (std::size_t i = 0; i < members.size(); ++i) {
        for (std::size_t j = i + 1; j < members.size(); ++j) {
            if (members[i].dispid == members[j].dispid && members[i].kind == members[j].kind)
                return false;
        }
    }
    return true;
}

// For static_assert on a table: a name (in any letter case) belongs to one dispid only, and a
// dispid to one name, so that looking up an id by name is unambiguous.
constexpr bool hasConsistentNames(std::span<const MemberInfo> members)
{
    for (std::size_t i = 0; i < members.size(); ++i) {
        for (std::size_t j = i + 1; j < members.size(); ++j) {
            const bool sameName = detail::sameNameIgnoringCase(members[i].name, members[j].name);
            if (sameName != (members[i].dispid == members[j].dispid))
                return false;
        }
    }
    return true;
}

} // namespace automation
