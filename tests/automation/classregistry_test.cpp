// The per-user class registry: where it lives, what it records, and how look-ups match.
#include "platform/automation/classregistry.h"
#include "tests/automation/scopedconfighome.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace automation;

namespace {

constexpr char guid[] = "{E7CC63F0-883E-4C8B-85F2-48BE5280A8FC}";

TEST(ClassRegistry, LivesUnderXdgConfigHomeReadAtEveryCall)
{
    ClassRegistry registry;
    {
        ScopedConfigHome home;
        EXPECT_EQ(registry.filePath(), home.path() + "/Vorlane/classes.ini");
        ASSERT_TRUE(registry.registerProgId("Some.Thing", guid));
        EXPECT_TRUE(QFile::exists(home.path() + "/Vorlane/classes.ini"));
        ScopedConfigHome other;
        EXPECT_EQ(registry.classOfProgId("Some.Thing"), std::nullopt);
    }
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ClassRegistry::userFilePath(), QDir::homePath() + "/.config/Vorlane/classes.ini");
    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(ClassRegistry::userFilePath(), QDir::homePath() + "/.config/Vorlane/classes.ini");
    if (!old.isNull())
        qputenv("XDG_CONFIG_HOME", old);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

TEST(ClassRegistry, RegistersLooksUpAndUnregisters)
{
    ScopedConfigHome home;
    ClassRegistry registry;
    ASSERT_TRUE(registry.registerClass({guid, "Vorlane", "/opt/lib/VRLN401.so", "Apartment"}));
    ASSERT_TRUE(registry.registerProgId("Vorlanecontrol.Vorlane", guid));
    ASSERT_TRUE(registry.registerTypeLibrary(
        {"48250ace-8342-4ea8-85f9-1f377711a6ed", 1, 0, "/opt/lib/VRLN401.so", "Vorlanecontrol"}));

    EXPECT_EQ(registry.classOfProgId("vorlanecontrol.VORLANE"), QByteArray(guid));
    EXPECT_EQ(registry.libraryOfClass("e7cc63f0-883e-4c8b-85f2-48be5280a8fc"),
              QString("/opt/lib/VRLN401.so"));
    const auto registration = registry.findClass(guid);
    ASSERT_TRUE(registration);
    EXPECT_EQ(registration->name, "Vorlane");
    EXPECT_EQ(registration->threadingModel, "Apartment");
    const auto library = registry.findTypeLibrary("{48250ACE-8342-4EA8-85F9-1F377711A6ED}");
    ASSERT_TRUE(library);
    EXPECT_EQ(library->guid, "{48250ACE-8342-4EA8-85F9-1F377711A6ED}");
    EXPECT_EQ(library->major, 1);
    EXPECT_EQ(library->minor, 0);
    EXPECT_EQ(library->name, "Vorlanecontrol");

    // Registering again replaces.
    ASSERT_TRUE(registry.registerClass({guid, "Vorlane", "/usr/lib/VRLN401.so", "Both"}));
    EXPECT_EQ(registry.libraryOfClass(guid), QString("/usr/lib/VRLN401.so"));

    ASSERT_TRUE(registry.unregisterProgId("VORLANECONTROL.vorlane"));
    EXPECT_EQ(registry.classOfProgId("Vorlanecontrol.Vorlane"), std::nullopt);
    EXPECT_TRUE(registry.libraryOfClass(guid)) << "a ProgID's removal keeps its class";
    ASSERT_TRUE(registry.unregisterClass(guid));
    EXPECT_EQ(registry.libraryOfClass(guid), std::nullopt);
    ASSERT_TRUE(registry.unregisterTypeLibrary("{48250ACE-8342-4EA8-85F9-1F377711A6ED}"));
    EXPECT_EQ(registry.findTypeLibrary("{48250ACE-8342-4EA8-85F9-1F377711A6ED}"), std::nullopt);
    EXPECT_TRUE(registry.unregisterClass(guid)) << "removing what is gone is no failure";
}

TEST(ClassRegistry, RefusesMalformedEntriesAndUnwritableFiles)
{
    ScopedConfigHome home;
    ClassRegistry registry;
    EXPECT_FALSE(registry.registerClass({"{not-a-guid}", "X", "/lib/x.so", "Apartment"}));
    EXPECT_FALSE(registry.registerClass({guid, "X", "relative/x.so", "Apartment"}));
    EXPECT_FALSE(registry.registerProgId("", guid));
    EXPECT_FALSE(registry.registerProgId("Has Space.X", guid));
    EXPECT_FALSE(registry.registerProgId("Sub/Key", guid));
    EXPECT_FALSE(registry.registerProgId("Fine.Name", "123"));
    EXPECT_EQ(registry.classOfProgId("Has Space.X"), std::nullopt);

    // A file where the folder should be makes the registry unwritable.
    QFile blocker(home.path() + "/Vorlane");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(registry.registerProgId("Fine.Name", guid));
}

} // namespace
