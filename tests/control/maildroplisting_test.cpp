// The UIDL and LIST listings: which lines a selection may use, and what the trace is told about
// the others.
#include "control/maildroplisting.h"
#include "control/servercapabilities.h"

#include <gtest/gtest.h>

namespace {

struct Taken {
    MaildropListing listing;
    QByteArrayList notes;
};

Taken uniqueIds(const QByteArray& body, qint32 count)
{
    Taken t;
    t.listing.takeUniqueIds(body, count, [&](const QByteArray& note) { t.notes.append(note); });
    return t;
}

} // namespace

TEST(MaildropListing, UniqueIdsWithinTheRulesOfRfc1939)
{
    const QByteArray seventy(70, '~');
    const Taken t = uniqueIds("1 !\r\n2 " + seventy + "\r\n3 " + seventy + "x\r\n04 four\r\n" +
                                  "5 five\r\n5 again\r\n6  six\r\n7\r\n 8 eight\r\n9 nine\r\n" +
                                  "10 ten\r\n+11 x",
                              10);
    EXPECT_EQ(t.listing.uniqueId(1), "!");
    EXPECT_EQ(t.listing.uniqueId(2), seventy);
    EXPECT_EQ(t.listing.uniqueId(3), std::nullopt); // 71 characters
    EXPECT_EQ(t.listing.uniqueId(4), "four");       // a number all the same
    EXPECT_EQ(t.listing.uniqueId(5), std::nullopt); // said twice
    EXPECT_EQ(t.listing.uniqueId(6), std::nullopt); // two spaces: the id would start with one
    EXPECT_EQ(t.listing.uniqueId(7), std::nullopt);
    EXPECT_EQ(t.listing.uniqueId(8), std::nullopt);
    EXPECT_EQ(t.listing.uniqueId(9), "nine");
    EXPECT_EQ(t.listing.uniqueId(10), "ten");
    EXPECT_EQ(t.listing.uniqueId(0), std::nullopt);
    EXPECT_EQ(t.listing.uniqueId(11), std::nullopt);
    EXPECT_EQ(t.notes, (QByteArrayList{
                           "UIDL listing line not used, UIDL n instead: 3 " + seventy + "x",
                           "UIDL listing line not used, UIDL n instead: 5 five",
                           "UIDL listing line not used, UIDL n instead: 5 again",
                           "UIDL listing line not used, UIDL n instead: 6  six",
                           "UIDL listing line not used, UIDL n instead: 7",
                           "UIDL listing line not used, UIDL n instead:  8 eight",
                           "UIDL listing line not used, UIDL n instead: +11 x",
                           "UIDL listing has no line for message 7, UIDL n instead",
                           "UIDL listing has no line for message 8, UIDL n instead",
                       }));
}

TEST(MaildropListing, SizesReadAsListNReadsThem)
{
    MaildropListing listing;
    int notes = 0;
    listing.takeSizes("1 0\r\n2 1024\r\n3 2048 extra\r\n4 x\r\n5 99999999999", 5,
                      [&](const QByteArray&) { ++notes; });
    EXPECT_EQ(listing.sizeInBytes(1), 0);
    EXPECT_EQ(listing.sizeInBytes(2), 1024);
    EXPECT_EQ(listing.sizeInBytes(3), 2048);
    EXPECT_EQ(listing.sizeInBytes(4), std::nullopt);
    EXPECT_EQ(listing.sizeInBytes(5), 2147483647); // saturated, as LIST 5's reply would be
    EXPECT_EQ(notes, 1);
    listing.forget(2);
    EXPECT_EQ(listing.sizeInBytes(2), std::nullopt);
}

TEST(MaildropListing, EmptyMailboxesAndHugeCounts)
{
    EXPECT_TRUE(uniqueIds("", 0).notes.isEmpty());
    // A count no selection can reach keeps the tables at what a 16-bit number selects.
    const Taken huge = uniqueIds("1 a\r\n40000 b", 2000000000);
    EXPECT_EQ(huge.listing.uniqueId(1), "a");
    EXPECT_EQ(huge.listing.uniqueId(40000), std::nullopt);
    EXPECT_EQ(huge.notes.size(), MaildropListing::kSelectable - 1);
}

TEST(ServerCapabilities, TagsInAnyCaseAndNoneWithoutOk)
{
    ServerCapabilities capabilities;
    capabilities.take("+OK Capability list follows\r\nTOP\r\npipelining\r\nSASL PLAIN LOGIN");
    EXPECT_TRUE(capabilities.known());
    EXPECT_TRUE(capabilities.has("PIPELINING"));
    EXPECT_TRUE(capabilities.has("SASL"));
    EXPECT_FALSE(capabilities.has("PLAIN"));
    EXPECT_EQ(capabilities.lines(), (QByteArrayList{"TOP", "pipelining", "SASL PLAIN LOGIN"}));
    capabilities.take("-ERR PIPELINING\r\n");
    EXPECT_FALSE(capabilities.known());
    EXPECT_FALSE(capabilities.has("PIPELINING"));
}
