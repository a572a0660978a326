// Property bags: values come back with their types, missing keys read as Empty.
#include "platform/automation/memorypropertybag.h"
#include "platform/automation/settingspropertybag.h"
#include "tests/automation/variantprinter.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
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

TEST(MemoryPropertyBag, KeepsTypesAndOrder)
{
    MemoryPropertyBag bag;
    expectRoundTrip(bag, [&]() -> const PropertyBag& { return bag; });
    EXPECT_EQ(bag.keys().first(), "Empty");
    bag.write("Long", Variant::fromString("changed"));
    EXPECT_EQ(bag.read("Long"), Variant::fromString("changed"));
    bag.remove("Long");
    EXPECT_FALSE(bag.contains("Long"));
    EXPECT_EQ(bag.read("Long"), Variant());
}

TEST(SettingsPropertyBag, RoundTripsThroughTheFileWithTypes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("form.ini"));
    std::unique_ptr<QSettings> reread;
    std::unique_ptr<SettingsPropertyBag> rereadBag;
    {
        QSettings settings(path, QSettings::IniFormat);
        SettingsPropertyBag bag(settings, QStringLiteral("Forms/Scan/Vorlane1"));
        expectRoundTrip(bag, [&]() -> const PropertyBag& {
            settings.sync();
            EXPECT_EQ(settings.status(), QSettings::NoError);
            // A fresh QSettings reads the file, not what the first one still caches.
            reread = std::make_unique<QSettings>(path, QSettings::IniFormat);
            rereadBag = std::make_unique<SettingsPropertyBag>(*reread, "Forms/Scan/Vorlane1");
            return *rereadBag;
        });
    }
    EXPECT_EQ(reread->value("Forms/Scan/Vorlane1/Long").toString(), "Long:110");
    SettingsPropertyBag otherGroup(*reread, QStringLiteral("Forms/Other"));
    EXPECT_EQ(otherGroup.read("Long"), Variant());
}

TEST(SettingsPropertyBag, ReadsHandWrittenValues)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("hand.ini")), QSettings::IniFormat);
    settings.setValue("Plain", "just text");
    settings.setValue("Port", "Long:abc");
    settings.setValue("Odd", "Weird:1");
    settings.setValue("Timeout", "Integer:99999");
    SettingsPropertyBag bag(settings, QString());
    EXPECT_EQ(bag.read("Plain"), Variant::fromString("just text"));
    EXPECT_EQ(bag.read("Port"), Variant::fromString("Long:abc"));
    EXPECT_EQ(bag.read("Odd"), Variant::fromString("Weird:1"));
    EXPECT_EQ(bag.read("Timeout"), Variant::fromString("Integer:99999"));
}

} // namespace
