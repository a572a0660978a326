// The per-user class registry: where it lives, what it records, and how look-ups match.
#include "platform/automation/classregistry.h"
#include "tests/automation/scopedconfighome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
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
    const auto typeLibrary = registry.findTypeLibrary("48250ACE-8342-4EA8-85F9-1F377711A6ED");
    ASSERT_TRUE(typeLibrary);
    EXPECT_EQ(typeLibrary->path, "/opt/lib/VRLN401.so");
    EXPECT_EQ(typeLibrary->name, "Vorlanecontrol");
    EXPECT_EQ(typeLibrary->major, 1);
    EXPECT_EQ(typeLibrary->minor, 0);
    // The file's layout, asserted here alone; other tests read it through the registry.
    QSettings written(registry.filePath(), QSettings::IniFormat);
    EXPECT_EQ(written.value("TypeLibraries/48250ACE-8342-4EA8-85F9-1F377711A6ED/Version"), "1.0");
    EXPECT_EQ(written.value("TypeLibraries/48250ACE-8342-4EA8-85F9-1F377711A6ED/Path"),
              "/opt/lib/VRLN401.so");
    EXPECT_EQ(written.value("ProgIDs/vorlanecontrol.vorlane/Class"), guid);
    EXPECT_EQ(written.value("Classes/E7CC63F0-883E-4C8B-85F2-48BE5280A8FC/Library"),
              "/opt/lib/VRLN401.so");

    // Registering again replaces.
    ASSERT_TRUE(registry.registerClass({guid, "Vorlane", "/usr/lib/VRLN401.so", "Both"}));
    EXPECT_EQ(registry.libraryOfClass(guid), QString("/usr/lib/VRLN401.so"));

    ASSERT_TRUE(registry.unregisterProgId("VORLANECONTROL.vorlane"));
    EXPECT_EQ(registry.classOfProgId("Vorlanecontrol.Vorlane"), std::nullopt);
    EXPECT_TRUE(registry.libraryOfClass(guid)) << "a ProgID's removal keeps its class";
    ASSERT_TRUE(registry.unregisterClass(guid));
    EXPECT_EQ(registry.libraryOfClass(guid), std::nullopt);
    ASSERT_TRUE(registry.unregisterTypeLibrary("{48250ACE-8342-4EA8-85F9-1F377711A6ED}"));
    // The last entry took the file and its folder with it.
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/Vorlane"));
    EXPECT_TRUE(registry.unregisterClass(guid)) << "removing what is gone is no failure";
    EXPECT_FALSE(QFileInfo::exists(registry.filePath())) << "nor does it leave an empty file";
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

// The system-wide registry sits in the first XDG_CONFIG_DIRS folder; every look-up reads the
// user's file first, then each system folder, and the first file holding an entry decides.
TEST(ClassRegistry, SystemRegistryIsReadAfterTheUsersOwn)
{
    ScopedConfigHome home;
    const QString second = home.path() + "/second";
    qputenv("XDG_CONFIG_DIRS", (home.systemPath() + ":relative:" + second).toLocal8Bit());
    EXPECT_EQ(ClassRegistry::system().filePath(), home.systemPath() + "/Vorlane/classes.ini");
    EXPECT_EQ(
        ClassRegistry().lookupFiles(),
        (QStringList{home.path() + "/Vorlane/classes.ini",
                     home.systemPath() + "/Vorlane/classes.ini", second + "/Vorlane/classes.ini"}));
    const char other[] = "{C0FFEE00-0000-0000-0000-000000000000}";
    ClassRegistry system = ClassRegistry::system();
    ClassRegistry user;
    ClassRegistry later(second + "/Vorlane/classes.ini");
    ASSERT_TRUE(later.registerProgId("Only.Later", other));
    ASSERT_TRUE(system.registerProgId("Both.Places", other));
    ASSERT_TRUE(system.registerClass({guid, "Sys", "/usr/lib/VRLN401.so", "Apartment"}));
    ASSERT_TRUE(user.registerProgId("Both.Places", guid));
    ASSERT_TRUE(user.registerClass({guid, "Mine", "/home/me/VRLN401.so", "Apartment"}));

    EXPECT_EQ(user.classOfProgId("Both.Places"), QByteArray(guid)) << "the user's entry wins";
    EXPECT_EQ(user.libraryOfClass(guid), QString("/home/me/VRLN401.so"));
    EXPECT_EQ(user.classOfProgId("Only.Later"), QByteArray(other));
    EXPECT_EQ(system.classOfProgId("Both.Places"), QByteArray(other));
    ASSERT_TRUE(user.unregisterClass(guid));
    EXPECT_EQ(user.libraryOfClass(guid), QString("/usr/lib/VRLN401.so")) << "then the system's";

    qunsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(ClassRegistry::systemFilePaths(), QStringList{"/etc/xdg/Vorlane/classes.ini"});
    qputenv(ClassRegistry::scopeVariable, "system");
    EXPECT_EQ(ClassRegistry::forRegistration().filePath(), "/etc/xdg/Vorlane/classes.ini");
    qunsetenv(ClassRegistry::scopeVariable);
    EXPECT_EQ(ClassRegistry::forRegistration().filePath(), home.path() + "/Vorlane/classes.ini");
}

// An entry that is there but unusable is reported as corrupt, naming the file, and hides no
// entry of a later file.
TEST(ClassRegistry, ReportsCorruptEntriesWithTheirFile)
{
    ScopedConfigHome home;
    ClassRegistry system = ClassRegistry::system();
    ASSERT_TRUE(system.registerProgId("Bad.Class", guid));
    ASSERT_TRUE(system.registerClass({guid, "Sys", "/usr/lib/VRLN401.so", "Apartment"}));
    const QString userFile = ClassRegistry::userFilePath();
    {
        QSettings settings(userFile, QSettings::IniFormat);
        settings.setValue("ProgIDs/bad.class/Class", "not-a-guid");
        settings.setValue("Classes/E7CC63F0-883E-4C8B-85F2-48BE5280A8FC/Library", "lib/x.so");
    }
    QByteArray corrupt;
    EXPECT_EQ(ClassRegistry().classOfProgId("Bad.Class", &corrupt), std::nullopt);
    EXPECT_EQ(corrupt, "the class registry \"" + QFile::encodeName(userFile) +
                           "\" is corrupt: the ProgID \"Bad.Class\" names the class "
                           "\"not-a-guid\", which is not a GUID");
    corrupt.clear();
    EXPECT_EQ(ClassRegistry().libraryOfClass(guid, &corrupt), std::nullopt);
    EXPECT_TRUE(corrupt.contains(QFile::encodeName(userFile) + "\" is corrupt: the class " + guid +
                                 " has the library \"lib/x.so\", which is not an absolute path"))
        << corrupt.constData();
}

} // namespace
