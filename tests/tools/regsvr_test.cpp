// regsvr: registering the built library fills the per-user or the system-wide class registry, -u
// empties it without leaving files behind, and every failure names the file and what went wrong.
#include "platform/automation/classregistry.h"
#include "tests/automation/scopedconfighome.h"
#include "tests/tools/toolrun.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using automation::ClassRegistry;

namespace {

constexpr char kProgId[] = "Vorlanecontrol.Vorlane";
constexpr char kVorlaneClass[] = "{E7CC63F0-883E-4C8B-85F2-48BE5280A8FC}";
constexpr char kPageClass[] = "{20B443C6-55E2-46A8-ADA3-7A43BBFCD155}";
constexpr char kTypeLibrary[] = "{48250ACE-8342-4EA8-85F9-1F377711A6ED}";

class Regsvr : public ::testing::Test {
protected:
    ToolRun regsvr(const QStringList& arguments, const QString& workingDirectory = {})
    {
        return runTool(QStringLiteral(REGSVR_PATH), arguments, m_home.path(), {}, workingDirectory);
    }

    // The tool's registries: this process looks in the same folders.
    static ClassRegistry registry(bool system = false)
    {
        return system ? ClassRegistry::system() : ClassRegistry();
    }
    static QString registryFile(bool system = false) { return registry(system).filePath(); }
    static QString registryFolder(bool system = false)
    {
        return QFileInfo(registryFile(system)).path();
    }

    static QString library() { return QFileInfo(QStringLiteral(VRLN401_PATH)).canonicalFilePath(); }

    void expectRegistered(bool system = false)
    {
        const ClassRegistry classes = registry(system);
        EXPECT_EQ(classes.classOfProgId(kProgId), QByteArray(kVorlaneClass));
        EXPECT_EQ(classes.libraryOfClass(kVorlaneClass), library());
        EXPECT_EQ(classes.libraryOfClass(kPageClass), library());
        const auto typeLibrary = classes.findTypeLibrary(kTypeLibrary);
        ASSERT_TRUE(typeLibrary);
        EXPECT_EQ(typeLibrary->path, library());
        EXPECT_EQ(typeLibrary->name, "Vorlanecontrol");
        EXPECT_EQ(typeLibrary->major, 1);
        EXPECT_EQ(typeLibrary->minor, 0);
    }

    ScopedConfigHome m_home;
};

TEST_F(Regsvr, RegistersTheLibraryAndUnregistersIt)
{
    const ToolRun registered = regsvr({library()});
    ASSERT_TRUE(registered.finished);
    EXPECT_EQ(registered.exitCode, 0) << registered.err.constData();
    EXPECT_TRUE(registered.out.contains("DllRegisterServer")) << registered.out.constData();
    EXPECT_EQ(registered.lines().size(), 1);
    expectRegistered();

    const ToolRun unregistered = regsvr({library(), QStringLiteral("-u")});
    EXPECT_EQ(unregistered.exitCode, 0) << unregistered.err.constData();
    EXPECT_TRUE(unregistered.out.contains("DllUnregisterServer"));
    // Nothing else was registered: no empty file or folder is left.
    EXPECT_FALSE(QFileInfo::exists(registryFolder()));
    EXPECT_EQ(regsvr({library(), QStringLiteral("-u")}).exitCode, 0) << "again: nothing to do";
    EXPECT_FALSE(QFileInfo::exists(registryFile()));
}

// The command lines the package's maintainer scripts run: --system writes the first folder of
// XDG_CONFIG_DIRS, a user's look-up reads it after their own file, and -u takes it away again.
TEST_F(Regsvr, SystemRegistrationIsSeenByEveryUserAfterTheirOwn)
{
    const ToolRun registered = regsvr({QStringLiteral("--system"), library()});
    EXPECT_EQ(registered.exitCode, 0) << registered.err.constData();
    EXPECT_TRUE(registered.out.contains(QFile::encodeName(registryFile(true))))
        << registered.out.constData();
    expectRegistered(true);
    EXPECT_FALSE(QFileInfo::exists(registryFile()));

    EXPECT_EQ(ClassRegistry().libraryOfClass(kVorlaneClass), library());
    ClassRegistry mine;
    ASSERT_TRUE(mine.registerClass({kVorlaneClass, "Vorlane", "/home/me/VRLN401.so", "Apartment"}));
    EXPECT_EQ(ClassRegistry().libraryOfClass(kVorlaneClass), QString("/home/me/VRLN401.so"));
    ASSERT_TRUE(mine.unregisterClass(kVorlaneClass));

    const ToolRun unregistered =
        regsvr({QStringLiteral("--system"), QStringLiteral("-u"), library()});
    EXPECT_EQ(unregistered.exitCode, 0) << unregistered.err.constData();
    EXPECT_FALSE(QFileInfo::exists(registryFolder(true)));
    EXPECT_FALSE(ClassRegistry().classOfProgId(kProgId));
}

// A relative name must be loaded from the current folder and recorded with its absolute path:
// hosts started elsewhere read the registry.
TEST_F(Regsvr, RecordsARelativeLibraryPathAsAbsolute)
{
    const QFileInfo file(library());
    const ToolRun run = regsvr({file.fileName()}, file.absolutePath());
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    expectRegistered();
}

TEST_F(Regsvr, FailsClearlyOnAMissingOrUnloadableLibrary)
{
    const QString missing = m_home.path() + QStringLiteral("/nothere.so");
    const ToolRun absent = regsvr({missing});
    EXPECT_EQ(absent.exitCode, 2);
    EXPECT_TRUE(absent.out.isEmpty());
    EXPECT_TRUE(absent.err.contains("nothere.so") && absent.err.contains("does not exist"))
        << absent.err.constData();

    const ToolRun notALibrary = regsvr({QStringLiteral(TYPELIB_GOLDEN_PATH)});
    EXPECT_EQ(notALibrary.exitCode, 2);
    EXPECT_TRUE(notALibrary.err.contains("cannot be loaded")) << notALibrary.err.constData();

    EXPECT_EQ(regsvr({}).exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(registry().filePath()));
}

TEST_F(Regsvr, ReportsAFailingEntryPointWithTheRegistryFileAndWhy)
{
    // A file where the registry's folder should be.
    QFile blocker(registryFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ToolRun blocked = regsvr({library()});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_TRUE(blocked.err.contains(
        "DllRegisterServer in " + QFile::encodeName(library()) + " failed: the class registry \"" +
        QFile::encodeName(registryFile()) +
        "\" was not changed: " + QFile::encodeName(blocker.fileName()) + " is not a folder"))
        << blocked.err.constData();
    ASSERT_TRUE(blocker.remove());

    for (const QStringList& arguments :
         {QStringList{QStringLiteral(FAILING_LIBRARY_PATH)},
          QStringList{QStringLiteral("-u"), QStringLiteral(FAILING_LIBRARY_PATH)}}) {
        const ToolRun run = regsvr(arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("0x80040201 (class registration failed)"))
            << run.err.constData();
    }
}

TEST_F(Regsvr, HelpOfEveryToolPrintsItsUsage)
{
    for (const char* tool : {REGSVR_PATH, TYPELIB_DUMP_PATH, VORLANE_SHELL_PATH}) {
        const ToolRun run =
            runTool(QString::fromUtf8(tool), {QStringLiteral("--help")}, m_home.path());
        EXPECT_EQ(run.exitCode, 0) << tool;
        EXPECT_TRUE(run.out.startsWith("usage: ")) << tool << run.out.constData();
        EXPECT_TRUE(run.err.isEmpty()) << tool;
    }
}

} // namespace
