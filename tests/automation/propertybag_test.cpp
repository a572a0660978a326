// The memory property bag: values come back with their types, missing keys read as Empty.
#include "platform/automation/memorypropertybag.h"
#include "tests/automation/variantprinter.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

using namespace automation;

namespace {

QByteArray everyByte()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes += char(b);
    return bytes;
}

std::vector<std::pair<QByteArray, Variant>> samples()
{
    return {{"Empty", Variant()},
            {"Null", Variant::null()},
            {"Short", Variant::fromInt16(-32768)},
            {"Long", Variant::fromInt32(110)},
            {"Double", Variant::fromDouble(0.1 + 0.2)},
            {"True", Variant::fromBool(true)},
            {"False", Variant::fromBool(false)},
            {"Text", Variant::fromString("mail.example.org, port=110; \"x\"")},
            {"NumberText", Variant::fromString("110")},
            {"EmptyText", Variant::fromString("")},
            {"Bytes", Variant::fromString(everyByte())},
            {"Date", Variant::fromDate(45000.123456789)}};
}

void expectRoundTrip(PropertyBag& writer, const std::function<const PropertyBag&()>& reader)
{
    for (const auto& [key, value] : samples())
        writer.write(key, value);
    const PropertyBag& bag = reader();
    for (const auto& [key, value] : samples())
        EXPECT_EQ(bag.read(key), value) << key.constData();
    EXPECT_EQ(bag.read("NeverWritten"), Variant());
    EXPECT_EQ(bag.read("long"), Variant()) << "keys are case-sensitive";
}

TEST(MemoryPropertyBag, KeepsTypes)
{
    MemoryPropertyBag bag;
    expectRoundTrip(bag, [&]() -> const PropertyBag& { return bag; });
    bag.write("Long", Variant::fromString("changed"));
    EXPECT_EQ(bag.read("Long"), Variant::fromString("changed"));
}

} // namespace
