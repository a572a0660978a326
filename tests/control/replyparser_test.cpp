// Numbers and fields read out of reply lines, including what hostile servers send.
#include "control/replyparser.h"

#include <gtest/gtest.h>
#include <limits>

using replyparser::leadingNumber;

TEST(LeadingNumber, ReadsTheLongestLeadingNumber)
{
    EXPECT_EQ(leadingNumber("320\r\n"), 320);
    EXPECT_EQ(leadingNumber("2 320\r\n"), 2320); // blanks are skipped wherever they stand
    EXPECT_EQ(leadingNumber(" \t\n42x"), 42);
    EXPECT_EQ(leadingNumber("-17"), -17);
    EXPECT_EQ(leadingNumber("+5"), 5);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("\r\n12"), 0); // a CR ends the number before it starts
    EXPECT_EQ(leadingNumber("1e3"), 1000);
    EXPECT_EQ(leadingNumber("12e"), 12);
    EXPECT_EQ(leadingNumber("."), 0);
}

TEST(LeadingNumber, RoundsHalvesToEven)
{
    EXPECT_EQ(leadingNumber("2.5"), 2);
    EXPECT_EQ(leadingNumber("3.5"), 4);
    EXPECT_EQ(leadingNumber("-2.5"), -2);
    EXPECT_EQ(leadingNumber("0.49"), 0);
}

TEST(LeadingNumber, SaturatesOutsideTheThirtyTwoBitRange)
{
    EXPECT_EQ(leadingNumber("2147483647"), std::numeric_limits<qint32>::max());
    EXPECT_EQ(leadingNumber("99999999999999999999"), std::numeric_limits<qint32>::max());
    EXPECT_EQ(leadingNumber("-99999999999"), std::numeric_limits<qint32>::min());
    EXPECT_EQ(leadingNumber("1e999"), std::numeric_limits<qint32>::max());
    EXPECT_EQ(leadingNumber("1e-999"), 0);
}

TEST(ReplyFields, CutsStatusSpaceAndLineEnd)
{
    using namespace replyparser;
    EXPECT_EQ(afterStatus("+OK 1 abc\r\n"), "1 abc\r\n");
    EXPECT_EQ(afterStatus("+OK"), "");
    EXPECT_EQ(afterFirstSpace("1 abc def\r\n"), "abc def\r\n");
    EXPECT_EQ(afterFirstSpace("abc"), "abc");
    EXPECT_EQ(withoutLineEnd("abc\r\n"), "abc");
    EXPECT_EQ(withoutLineEnd("\r\n"), "");
    EXPECT_TRUE(isPositive("+OK"));
    EXPECT_FALSE(isPositive("+ok"));
    EXPECT_FALSE(isPositive("-ERR"));
}
