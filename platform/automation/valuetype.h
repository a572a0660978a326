// The declared types of automation members: what a property holds, a parameter takes, a method
// returns.
#pragma once

namespace automation {

// Variant means "any type, unconverted"; Void means "no value" (a method without result). The
// numbers cross library boundaries in type information, so they stay as first released.
enum class ValueType { Void = 0, Integer = 1, Long = 2, Boolean = 4, String = 5, Variant = 7 };

// "Void", "Integer", "Long", "Boolean", "String" or "Variant".
constexpr const char* valueTypeName(ValueType type)
{
    switch (type) {
    case ValueType::Void:
        return "Void";
    case ValueType::Integer:
        return "Integer";
    case ValueType::Long:
        return "Long";
    case ValueType::Boolean:
        return "Boolean";
    case ValueType::String:
        return "String";
    case ValueType::Variant:
        return "Variant";
    }
    return "?";
}

} // namespace automation
