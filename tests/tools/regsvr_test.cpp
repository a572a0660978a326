// regsvr: registering the built library fills the per-user class registry, -u empties it, and
// every failure says what went wrong with a non-zero status.
#include "platform/automation/classregistry.h"
#include "tests/tools/toolrun.h"

#include <QFileInfo>
#include <QTemporaryDir>
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

    ClassRegistry registry() const
    {
        return ClassRegistry(m_home.path() + QStringLiteral("/Vorlane/classes.ini"));
    }

    static QString library() { return QFileInfo(QStringLiteral(VRLN401_PATH)).canonicalFilePath(); }

    void expectRegistered()
    {
        const ClassRegistry classes = registry();
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

    QTemporaryDir m_home;
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
    const ClassRegistry classes = registry();
    EXPECT_FALSE(classes.classOfProgId(kProgId));
    EXPECT_FALSE(classes.findClass(kVorlaneClass));
    EXPECT_FALSE(classes.findClass(kPageClass));
    EXPECT_FALSE(classes.findTypeLibrary(kTypeLibrary));
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

TEST_F(Regsvr, ReportsAFailingEntryPointWithItsResultCode)
{
    for (const QStringList& arguments :
         {QStringList{QStringLiteral(FAILING_LIBRARY_PATH)},
          QStringList{QStringLiteral("-u"), QStringLiteral(FAILING_LIBRARY_PATH)}}) {
        const ToolRun run = regsvr(arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("0x80040201 (class registration failed)"))
            << run.err.constData();
    }
}

} // namespace
