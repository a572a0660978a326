// The variant conversions on values of every type built from the input: no crash or undefined
// behaviour, and the properties hosts rely on (text forms read back, integers in range, the
// declared type after a coercion).
//
// Input: byte 0 = variant type, byte 1 = declared type for coerce, the rest = the payload: the
// value's bytes for numbers and dates, the text for strings.
#include "fuzzcheck.h"
#include "platform/automation/automationdate.h"
#include "platform/automation/conversions.h"
#include "platform/automation/numbertext.h"

#include <QByteArray>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace automation;

namespace {

template <class T> T payloadAs(QByteArrayView payload)
{
    T value{};
    if (!payload.isEmpty()) {
        std::memcpy(&value, payload.data(), std::min<std::size_t>(sizeof value, payload.size()));
    }
    return value;
}

Variant makeVariant(std::uint8_t type, QByteArrayView payload)
{
    switch (type % 8) {
    case 0:
        return Variant();
    case 1:
        return Variant::null();
    case 2:
        return Variant::fromInt16(payloadAs<qint16>(payload));
    case 3:
        return Variant::fromInt32(payloadAs<qint32>(payload));
    case 4:
        return Variant::fromDouble(payloadAs<double>(payload));
    case 5:
        return Variant::fromBool(!payload.isEmpty() && (payload[0] & 1));
    case 6:
        return Variant::fromString(payload.toByteArray());
    default:
        // Day counts of the years 100 to 9999 are within about +-3e6: a small integer and a
        // fraction reach them far more often than raw double bits.
        return Variant::fromDate(
            payloadAs<qint32>(payload) % 4000000 +
            payloadAs<quint16>(payload.sliced(std::min<qsizetype>(4, payload.size()))) / 65536.0);
    }
}

bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The number grammar of parseNumber, written out: blanks, sign, digits with an optional point
// (one digit at least), an optional exponent with at least one digit, blanks.
bool isNumberText(QByteArrayView text)
{
    qsizetype at = 0;
    const auto digits = [&] {
        const qsizetype from = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        return at - from;
    };
    while (at < text.size() && isSpace(text[at])) {
        ++at;
    }
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
    }
    qsizetype mantissa = digits();
    if (at < text.size() && text[at] == '.') {
        ++at;
        mantissa += digits();
    }
    if (mantissa == 0) {
        return false;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
            ++at;
        }
        if (digits() == 0) {
            return false;
        }
    }
    while (at < text.size() && isSpace(text[at])) {
        ++at;
    }
    return at == text.size();
}

// parseNumber against the grammar and the C library's correctly rounded reading.
void checkParseNumber(QByteArrayView text)
{
    const Converted<double> got = parseNumber(text);
    if (!isNumberText(text)) {
        fuzzcheck::require(got.error == RuntimeError::TypeMismatch, "non-number accepted");
        return;
    }
    const QByteArray terminated = text.toByteArray().trimmed();
    const double want = std::strtod(terminated.constData(), nullptr);
    if (std::isinf(want)) {
        fuzzcheck::require(got.error == RuntimeError::Overflow, "overflow not reported");
        return;
    }
    fuzzcheck::require(got.ok(), "number rejected");
    if (got.value != want) {
        fuzzcheck::fail("parseNumber",
                        QByteArray::number(got.value, 'g', 17) + " from " + terminated,
                        QByteArray::number(want, 'g', 17));
    }
}

// Integers: in range, within one half of the number, halves to even; Int16 and Int32 agree.
void checkIntegers(const Variant& value)
{
    const Converted<double> number = toDouble(value);
    const Converted<qint16> small = toInt16(value);
    const Converted<qint32> large = toInt32(value);
    if (!number.ok()) {
        fuzzcheck::require(small.error == number.error && large.error == number.error,
                           "integer errors differ from the number's");
        return;
    }
    if (large.ok()) {
        const double distance = std::fabs(double(large.value) - number.value);
        fuzzcheck::require(distance < 0.5 || (distance == 0.5 && large.value % 2 == 0),
                           "Int32 is not the nearest integer, halves to even");
        fuzzcheck::require(small.ok() == (large.value >= -32768 && large.value <= 32767),
                           "Int16 range");
        fuzzcheck::require(!small.ok() || small.value == large.value, "Int16 differs from Int32");
    } else {
        fuzzcheck::require(large.error == RuntimeError::Overflow && !small.ok(),
                           "Int32 failed without overflow");
        fuzzcheck::require(!(std::fabs(number.value) < 2147483647.0), "Int32 overflow in range");
    }
}

// Text forms read back as the same value.
void checkTextForms(const Variant& value)
{
    const Converted<QByteArray> text = toString(value);
    const Variant asText = Variant::fromString(text.value);
    switch (value.type()) {
    case Variant::Type::Integer:
    case Variant::Type::Long:
        fuzzcheck::require(text.ok() && toInt32(asText).value == toInt32(value).value,
                           "integer text does not read back");
        break;
    case Variant::Type::Double:
        if (std::isfinite(value.doubleValue())) {
            const Converted<double> back = toDouble(asText);
            fuzzcheck::require(back.ok() && back.value == value.doubleValue(),
                               "double text does not read back");
        }
        break;
    case Variant::Type::Boolean:
        fuzzcheck::require(toBool(asText).value == value.boolValue(), "boolean text");
        break;
    default:
        break;
    }
}

Variant::Type typeOf(ValueType type, const Variant& original)
{
    switch (type) {
    case ValueType::Void:
        return Variant::Type::Empty;
    case ValueType::Integer:
        return Variant::Type::Integer;
    case ValueType::Long:
        return Variant::Type::Long;
    case ValueType::Boolean:
        return Variant::Type::Boolean;
    case ValueType::String:
        return Variant::Type::String;
    case ValueType::Variant:
        break;
    }
    return original.type();
}

// Equal, or both holding NaN: a NaN double or date is a value like any other here.
bool same(const Variant& a, const Variant& b)
{
    const auto isNaN = [](const Variant& v) {
        return std::isnan(v.doubleValue()) || std::isnan(v.dateValue());
    };
    return a == b || (a.type() == b.type() && isNaN(a) && isNaN(b));
}

// A coercion gives the declared type, and coercing its result again changes nothing.
void checkCoerce(const Variant& value, ValueType type)
{
    const Converted<Variant> once = coerce(value, type);
    if (!once.ok()) {
        fuzzcheck::require(once.value == Variant(), "failed coercion left a value");
        return;
    }
    fuzzcheck::require(once.value.type() == typeOf(type, value), "coerced type");
    const Converted<Variant> twice = coerce(once.value, type);
    fuzzcheck::require(twice.ok() && same(twice.value, once.value), "coercion is not idempotent");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const QByteArrayView payload(reinterpret_cast<const char*>(data) + 2, qsizetype(size) - 2);
    const Variant value = makeVariant(data[0], payload);
    constexpr ValueType declared[] = {ValueType::Void,    ValueType::Integer, ValueType::Long,
                                      ValueType::Boolean, ValueType::String,  ValueType::Variant};
    const ValueType type = declared[data[1] % std::size(declared)];

    (void)value.debugText();
    if (value.isNull()) {
        fuzzcheck::require(toString(value).error == RuntimeError::InvalidUseOfNull &&
                               toBool(value).error == RuntimeError::InvalidUseOfNull,
                           "Null converted");
    }
    if (value.type() == Variant::Type::String) {
        checkParseNumber(payload);
    }
    checkIntegers(value);
    checkTextForms(value);
    checkCoerce(value, type);
    return 0;
}
