// Findings of the fuzz targets on reading numbers, kept as plain cases: values out of the double
// range must saturate in the direction of their true magnitude, however the digits are spread
// between mantissa and exponent.
#include "control/replyparser.h"
#include "platform/automation/numbertext.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();

TEST(FuzzFindingLeadingNumber, OutOfRangeSaturatesByMagnitudeNotByExponentSign)
{
    using replyparser::leadingNumber;
    // 1E-341 has no exponent at all and read as the largest value.
    EXPECT_EQ(leadingNumber("0." + QByteArray(340, '0') + "1\r\n"), 0);
    // 1E+325 has a negative exponent and read as 0.
    EXPECT_EQ(leadingNumber("1" + QByteArray(330, '0') + "e-5\r\n"), kMax);
    EXPECT_EQ(leadingNumber("-1" + QByteArray(330, '0') + "e-5\r\n"), kMin);
    // Blanks inside a long number, as the fuzzer sent it: 3E+310 written as 3E+314 times 1E-4.
    EXPECT_EQ(leadingNumber("3" + QByteArray(157, '0') + " " + QByteArray(157, '0') + "D-4"), kMax);
}

TEST(FuzzFindingLeadingNumber, ExponentIsReadWholeAfterALongMantissa)
{
    using replyparser::leadingNumber;
    // Four hundred ones times 1E-500 is about 1E-101: the exponent used to be cut after the
    // first of its digits once the number text was 400 characters long.
    EXPECT_EQ(leadingNumber(QByteArray(400, '1') + "e-500\r\n"), 0);
    EXPECT_EQ(leadingNumber("0." + QByteArray(400, '0') + "25e403"), 250);
}

TEST(FuzzFindingParseNumber, HugeMantissaWithHugeNegativeExponentIsTinyNotOverflow)
{
    // 150,000 digits times 1E-160000 is about 1E-10000; the exponent used to be clamped at
    // 100,000, which made the sum of magnitudes positive.
    const auto tiny = automation::parseNumber(QByteArray(150000, '1') + "e-160000");
    ASSERT_TRUE(tiny.ok());
    EXPECT_EQ(tiny.value, 0.0);
    const auto huge = automation::parseNumber(QByteArray(150000, '1') + "e-140000");
    EXPECT_EQ(huge.error, automation::RuntimeError::Overflow);
    const auto exact = automation::parseNumber("0." + QByteArray(150000, '0') + "1e150010");
    ASSERT_TRUE(exact.ok());
    EXPECT_EQ(exact.value, 1e9);
}

} // namespace
