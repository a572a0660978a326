// Variant conversions: every source type to every target, the error cases, rounding and the text
// forms of numbers and dates.
#include "platform/automation/automationdate.h"
#include "platform/automation/conversions.h"
#include "platform/automation/numbertext.h"
#include "tests/automation/variantprinter.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace automation;

namespace {

Variant str(const char* text)
{
    return Variant::fromString(text);
}

template <class T> void expectValue(const Converted<T>& result, const T& expected)
{
    ASSERT_TRUE(result.ok()) << "error " << int(result.error);
    EXPECT_EQ(result.value, expected);
}

template <class T> void expectError(const Converted<T>& result, RuntimeError expected)
{
    EXPECT_EQ(result.error, expected);
    EXPECT_EQ(result.value, T{}) << "a failed conversion must not leak a value";
}

TEST(Variant, KeepsTypeAndValueAndComparesBoth)
{
    EXPECT_EQ(Variant().type(), Variant::Type::Empty);
    EXPECT_EQ(Variant::fromInt16(-5).int16Value(), -5);
    EXPECT_EQ(Variant::fromDate(2.5).dateValue(), 2.5);
    EXPECT_EQ(Variant::fromString("a\0b").stringValue(), QByteArray("a\0b"));
    EXPECT_NE(Variant::fromInt16(1), Variant::fromInt32(1));
    EXPECT_NE(Variant::fromDouble(2.5), Variant::fromDate(2.5));
    EXPECT_NE(Variant(), Variant::null());
    EXPECT_EQ(Variant::fromString("x"), str("x"));
    // Accessors never convert.
    EXPECT_EQ(Variant::fromInt32(7).int16Value(), 0);
    EXPECT_EQ(QByteArray(Variant::fromBool(true).typeName()), "Boolean");
    EXPECT_EQ(Variant::fromString("ab").debugText(), "String(\"ab\")");
}

TEST(Conversions, NullFailsEveryTargetAndEmptyReadsAsZero)
{
    const Variant null = Variant::null();
    expectError(toString(null), RuntimeError::InvalidUseOfNull);
    expectError(toInt16(null), RuntimeError::InvalidUseOfNull);
    expectError(toInt32(null), RuntimeError::InvalidUseOfNull);
    expectError(toDouble(null), RuntimeError::InvalidUseOfNull);
    expectError(toBool(null), RuntimeError::InvalidUseOfNull);

    expectValue(toString(Variant()), QByteArray());
    expectValue(toInt16(Variant()), qint16(0));
    expectValue(toInt32(Variant()), 0);
    expectValue(toDouble(Variant()), 0.0);
    expectValue(toBool(Variant()), false);
}

TEST(Conversions, BooleansAreMinusOneAndZeroAndPrintAsWords)
{
    expectValue(toInt16(Variant::fromBool(true)), qint16(-1));
    expectValue(toInt32(Variant::fromBool(false)), 0);
    expectValue(toDouble(Variant::fromBool(true)), -1.0);
    expectValue(toString(Variant::fromBool(true)), QByteArray("True"));
    expectValue(toString(Variant::fromBool(false)), QByteArray("False"));

    expectValue(toBool(str(" tRUe ")), true);
    expectValue(toBool(str("FALSE")), false);
    expectValue(toBool(str("0")), false);
    expectValue(toBool(str("-1")), true);
    expectValue(toBool(str("0.5")), true);
    expectValue(toBool(Variant::fromInt16(2)), true);
    expectValue(toBool(Variant::fromDouble(0.0)), false);
    expectError(toBool(str("")), RuntimeError::TypeMismatch);
    expectError(toBool(str("yes")), RuntimeError::TypeMismatch);
    expectError(toBool(str("True1")), RuntimeError::TypeMismatch);
}

TEST(Conversions, IntegersPrintAsPlainDecimal)
{
    expectValue(toString(Variant::fromInt16(-32768)), QByteArray("-32768"));
    expectValue(toString(Variant::fromInt32(1234567)), QByteArray("1234567"));
    expectValue(toString(Variant::fromInt32(std::numeric_limits<qint32>::min())),
                QByteArray("-2147483648"));
    expectValue(toString(Variant::fromInt16(0)), QByteArray("0"));
}

TEST(Conversions, DoublesRoundHalfToEven)
{
    const std::pair<double, qint16> cases[] = {{0.5, 0},    {1.5, 2},   {2.5, 2},   {3.5, 4},
                                               {-0.5, 0},   {-1.5, -2}, {-2.5, -2}, {2.4999, 2},
                                               {2.5001, 3}, {-2.6, -3}};
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        expectValue(toInt16(Variant::fromDouble(input)), expected);
        expectValue(toInt32(Variant::fromDouble(input)), qint32(expected));
    }
    expectValue(toInt16(str("2.5")), qint16(2));
    expectValue(toInt16(str("3.5")), qint16(4));
    expectValue(toInt32(Variant::fromDate(1.5)), 2);
}

TEST(Conversions, SixteenBitRangeEdges)
{
    expectValue(toInt16(Variant::fromInt32(32767)), qint16(32767));
    expectValue(toInt16(Variant::fromInt32(-32768)), qint16(-32768));
    expectError(toInt16(Variant::fromInt32(32768)), RuntimeError::Overflow);
    expectError(toInt16(Variant::fromInt32(-32769)), RuntimeError::Overflow);
    expectValue(toInt16(Variant::fromDouble(32766.5)), qint16(32766));
    expectError(toInt16(Variant::fromDouble(32767.5)), RuntimeError::Overflow);
    expectValue(toInt16(Variant::fromDouble(-32768.5)), qint16(-32768));
    expectError(toInt16(Variant::fromDouble(-32769.5)), RuntimeError::Overflow);
    expectError(toInt16(str("32768")), RuntimeError::Overflow);
    expectValue(toInt16(str("-32768")), qint16(-32768));
    expectError(toInt16(Variant::fromDouble(std::nan(""))), RuntimeError::Overflow);
}

TEST(Conversions, ThirtyTwoBitRangeEdges)
{
    expectValue(toInt32(str("2147483647")), 2147483647);
    expectError(toInt32(str("2147483648")), RuntimeError::Overflow);
    expectValue(toInt32(str("-2147483648")), std::numeric_limits<qint32>::min());
    expectError(toInt32(str("-2147483649")), RuntimeError::Overflow);
    expectError(toInt32(Variant::fromDouble(2147483647.5)), RuntimeError::Overflow);
    expectValue(toInt32(Variant::fromDouble(-2147483648.5)), std::numeric_limits<qint32>::min());
    expectError(toInt32(Variant::fromDouble(std::numeric_limits<double>::infinity())),
                RuntimeError::Overflow);
    expectError(toInt32(str("1e10")), RuntimeError::Overflow);
    expectValue(toInt32(Variant::fromInt16(-7)), -7);
}

TEST(Conversions, StringsReadAsNumbers)
{
    expectValue(toInt32(str("110")), 110);
    expectValue(toInt32(str("  +42  ")), 42);
    expectValue(toInt16(str("-7")), qint16(-7));
    expectValue(toInt32(str("1e3")), 1000);
    expectValue(toDouble(str(".5")), 0.5);
    expectValue(toDouble(str("5.")), 5.0);
    expectValue(toDouble(str("-1.25E-2")), -0.0125);
    expectValue(toDouble(str("\t12\r\n")), 12.0);
    expectValue(toDouble(str("1e-400")), 0.0);
    expectError(toDouble(str("1e400")), RuntimeError::Overflow);
    expectError(toDouble(str("-1e400")), RuntimeError::Overflow);
    for (const char* bad : {"", "   ", "abc", "12abc", "1 2", "1e", "e5", ".", "+", "--1", "1,000",
                            "inf", "nan", "0x10", "&H10", "1.2.3"}) {
        SCOPED_TRACE(bad);
        expectError(toInt32(str(bad)), RuntimeError::TypeMismatch);
        expectError(toDouble(str(bad)), RuntimeError::TypeMismatch);
    }
}

TEST(NumberText, DoublesPrintInTheirShortestExactForm)
{
    const std::pair<double, const char*> cases[] = {{1.5, "1.5"},
                                                    {110.0, "110"},
                                                    {-0.25, "-0.25"},
                                                    {0.1, "0.1"},
                                                    {-0.0, "0"},
                                                    {1e14, "100000000000000"},
                                                    {1e15, "1E+15"},
                                                    {1.5e-7, "1.5E-07"},
                                                    {0.00001, "0.00001"},
                                                    {0.000001, "1E-06"},
                                                    {123.456, "123.456"},
                                                    {1e300, "1E+300"},
                                                    {0.1 + 0.2, "0.30000000000000004"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(doubleText(value), text) << value;
    EXPECT_EQ(doubleText(std::nan("")), "NaN");
    EXPECT_EQ(doubleText(-std::numeric_limits<double>::infinity()), "-Infinity");
    expectValue(toString(Variant::fromDouble(1.5)), QByteArray("1.5"));
}

TEST(NumberText, EveryPrintedDoubleReadsBackExactly)
{
    for (double value : {1.5, 1e15, 1.5e-7, 0.1 + 0.2, 1e-320, 1.7976931348623157e308, -2.5e-5,
                         4.9406564584124654e-324, 123456789.125}) {
        const Converted<double> back = parseNumber(doubleText(value));
        ASSERT_TRUE(back.ok()) << doubleText(value).constData();
        EXPECT_EQ(back.value, value);
    }
}

TEST(Dates, PrintAsUnambiguousDateTimeText)
{
    expectValue(toString(Variant::fromDate(0.0)), QByteArray("1899-12-30 00:00:00"));
    expectValue(toString(Variant::fromDate(2.25)), QByteArray("1900-01-01 06:00:00"));
    expectValue(toString(Variant::fromDate(-1.25)), QByteArray("1899-12-29 06:00:00"));
    expectValue(toString(Variant::fromDate(45000.999999999)), QByteArray("2023-03-16 00:00:00"));
    expectError(toString(Variant::fromDate(3e6)), RuntimeError::Overflow);
    expectError(toString(Variant::fromDate(std::nan(""))), RuntimeError::Overflow);
}

TEST(Coerce, ConvertsToTheDeclaredTypeOrFails)
{
    expectValue(coerce(str("110"), ValueType::Long), Variant::fromInt32(110));
    expectValue(coerce(Variant::fromInt32(5), ValueType::Integer), Variant::fromInt16(5));
    expectValue(coerce(Variant::fromBool(true), ValueType::String), str("True"));
    expectValue(coerce(str("false"), ValueType::Boolean), Variant::fromBool(false));
    expectValue(coerce(Variant::null(), ValueType::Variant), Variant::null());
    expectError(coerce(str("x"), ValueType::Integer), RuntimeError::TypeMismatch);
    expectError(coerce(Variant::fromInt32(40000), ValueType::Integer), RuntimeError::Overflow);
    expectError(coerce(Variant::null(), ValueType::String), RuntimeError::InvalidUseOfNull);
}

TEST(RuntimeErrors, HaveTheirClassicTexts)
{
    EXPECT_EQ(runtimeErrorText(RuntimeError::Overflow), "Overflow");
    EXPECT_EQ(runtimeErrorText(RuntimeError::TypeMismatch), "Type mismatch");
    EXPECT_EQ(runtimeErrorText(RuntimeError::InvalidUseOfNull), "Invalid use of Null");
    EXPECT_EQ(runtimeErrorText(RuntimeError::CantCreateObject),
              "ActiveX component can't create object");
    EXPECT_EQ(runtimeErrorText(ErrorNumber::of(40006)),
              "Application-defined or object-defined error");
    EXPECT_EQ(ErrorNumber::of(13), RuntimeError::TypeMismatch);
}

} // namespace
