// The declared types of automation members: what a property holds, a parameter takes, a method
// returns.
#pragma once

namespace automation {

// Variant means "any type, unconverted"; Void means "no value" (a method without result).
enum class ValueType { Void, Integer, Long, Double, Boolean, String, Date, Variant };

// "Void", "Integer", "Long", "Double", "Boolean", "String", "Date" or "Variant".
constexpr const char* valueTypeName(ValueType type)
{
    switch (type) {
    case ValueType::Void:
        return "Void";
    case ValueType::Integer:
        return "Integer";
    case ValueType::Long:
        return "Long";
    case ValueType::Double:
        return "Double";
    case ValueType::Boolean:
        return "Boolean";
    case ValueType::String:
        return "String";
    case ValueType::Date:
        return "Date";
    case ValueType::Variant:
        return "Variant";
    }
    return "?";
}

} // namespace automation
