// Variant: the one value type that crosses every late-bound call, property bag and event.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace automation {

// A typed value. Strings are bytes, one character per byte, exactly as the protocol and the files
// carry them. A Date is a day count from 1899-12-30 00:00 with the time of day as its fraction
// (see automationdate.h). Booleans are kept as true/false; conversions give them as -1/0.
class Variant {
public:
    enum class Type { Empty, Null, Integer, Long, Double, Boolean, String, Date };

    Variant() = default; // Empty

    static Variant null();
    static Variant fromInt16(qint16 value);
    static Variant fromInt32(qint32 value);
    static Variant fromDouble(double value);
    static Variant fromBool(bool value);
    static Variant fromString(QByteArray value);
    static Variant fromDate(double days);

    Type type() const;
    bool isEmpty() const { return type() == Type::Empty; }
    bool isNull() const { return type() == Type::Null; }

    // The stored value when the type matches; a zero value otherwise. These never convert: use
    // the functions of conversions.h for that.
    qint16 int16Value() const;
    qint32 int32Value() const;
    double doubleValue() const;
    bool boolValue() const;
    QByteArray stringValue() const;
    double dateValue() const;

    // "Empty", "Null", "Integer", "Long", "Double", "Boolean", "String" or "Date".
    const char* typeName() const;

    // For test output and traces: the type name and the value, as in Long(110) or String("ab").
    QByteArray debugText() const;

    // Same type and same value; Integer 1 and Long 1 differ.
    friend bool operator==(const Variant&, const Variant&) = default;

private:
    Variant(Type type, qint32 integer, double number, QByteArray text);

    // Plain fields rather than std::variant: GCC 12 warns falsely about the latter under the
    // sanitizers, and -Werror would fail every user of this header. Unused fields stay zero, so
    // the defaulted comparison is exact.
    Type m_type = Type::Empty;
    qint32 m_integer = 0; // Integer, Long, Boolean (0 or 1)
    double m_number = 0;  // Double, Date
    QByteArray m_text;    // String
};

// The name of a variant type, as Variant::typeName gives it.
const char* variantTypeName(Variant::Type type);

} // namespace automation
