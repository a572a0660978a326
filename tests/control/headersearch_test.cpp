// Header lines found by name: the cases that break naive searches.
#include "control/headersearch.h"

#include <gtest/gtest.h>

using headersearch::find;

namespace {

const QByteArray kHeaders = "Received: from a by b; Mon, 7 Dec 2026 04:38:32 +0000\r\n"
                            "Subject:  Hello World \r\n"
                            "Reply-To: <r@example.org>\r\n"
                            "X-Folded: first part\r\n"
                            "\tsecond part\r\n"
                            "Date: Mon, 7 Dec 2026 04:38:32 +0000\r\n"
                            "X-Tab:\tvalue\t\r\n";

} // namespace

TEST(HeaderSearch, NameIsMatchedWithoutCaseAndWithOrWithoutColon)
{
    for (const char* name : {"subject", "SUBJECT", " Subject ", "subject:"}) {
        EXPECT_EQ(find(kHeaders, name).value, "Hello World") << name;
    }
}

TEST(HeaderSearch, FirstLineAndValuesWithColonsAreFound)
{
    EXPECT_EQ(find(kHeaders, "received").value, "from a by b; Mon, 7 Dec 2026 04:38:32 +0000");
    EXPECT_EQ(find(kHeaders, "Date").value, "Mon, 7 Dec 2026 04:38:32 +0000");
}

TEST(HeaderSearch, OnlyWholeNamesAtLineStartsMatch)
{
    EXPECT_EQ(find(kHeaders, "To").value, "<not found>");
    EXPECT_EQ(find(kHeaders, "Reply-To").value, "<r@example.org>");
    EXPECT_EQ(find(kHeaders, "ject").value, "<not found>");
    EXPECT_EQ(find(kHeaders, "").value, "<not found>");
    EXPECT_EQ(find(": x\r\n", "").value, "x"); // the empty name looks for a line starting ":"
}

TEST(HeaderSearch, FoldedHeaderGivesItsFirstLineOnlyAndTabsStay)
{
    EXPECT_EQ(find(kHeaders, "X-Folded").value, "first part");
    EXPECT_EQ(find(kHeaders, "X-Tab").value, "\tvalue\t");
}

TEST(HeaderSearch, LastLineWithoutLineEndAndHugeBlocks)
{
    EXPECT_EQ(find("A: 1\r\nB: 2", "b").value, "2");
    // Positions far beyond 16 bits must not overflow.
    const QByteArray big = QByteArray(100000, 'x').prepend("X-Pad: ").append("\r\nLate: yes\r\n");
    const headersearch::Match match = find(big, "late");
    EXPECT_EQ(match.value, "yes");
    EXPECT_EQ(find(big, "x-pad").lineEndPosition, 100000 + 7 + 1);
}
