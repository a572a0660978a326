// The C++ types that stand for the declared value types, and their variants: how a typed accessor
// meets a variant that the dispatcher has already converted to the declared type.
#pragma once

#include "platform/automation/valuetype.h"
#include "platform/automation/variant.h"

#include <QByteArray>
#include <QtGlobal>
#include <type_traits>

namespace automation {

// Specialised for void, qint16, qint32, bool and QByteArray; any other type fails to compile, so
// an accessor of a type automation cannot carry is caught where it is bound.
template <class T> struct TypedValue;

template <> struct TypedValue<void> {
    static constexpr ValueType type = ValueType::Void;
};

template <> struct TypedValue<qint16> {
    static constexpr ValueType type = ValueType::Integer;
    static Variant toVariant(qint16 value) { return Variant::fromInt16(value); }
    static qint16 fromVariant(const Variant& value) { return value.int16Value(); }
};

template <> struct TypedValue<qint32> {
    static constexpr ValueType type = ValueType::Long;
    static Variant toVariant(qint32 value) { return Variant::fromInt32(value); }
    static qint32 fromVariant(const Variant& value) { return value.int32Value(); }
};

template <> struct TypedValue<bool> {
    static constexpr ValueType type = ValueType::Boolean;
    static Variant toVariant(bool value) { return Variant::fromBool(value); }
    static bool fromVariant(const Variant& value) { return value.boolValue(); }
};

template <> struct TypedValue<QByteArray> {
    static constexpr ValueType type = ValueType::String;
    static Variant toVariant(QByteArray value) { return Variant::fromString(std::move(value)); }
    static QByteArray fromVariant(const Variant& value) { return value.stringValue(); }
};

// The plain type behind a parameter or result (const QByteArray& is QByteArray).
template <class T> using PlainType = std::remove_cvref_t<T>;

// Whether a variant holds exactly the declared type: what a get or a method result must be.
inline bool holdsType(const Variant& value, ValueType type)
{
    switch (type) {
    case ValueType::Void:
        return value.isEmpty();
    case ValueType::Integer:
        return value.type() == Variant::Type::Integer;
    case ValueType::Long:
        return value.type() == Variant::Type::Long;
    case ValueType::Boolean:
        return value.type() == Variant::Type::Boolean;
    case ValueType::String:
        return value.type() == Variant::Type::String;
    case ValueType::Variant:
        return true;
    }
    return false;
}

} // namespace automation
