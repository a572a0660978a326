// The shipped library as a host meets it: self-registration, creation by ProgID, the unload
// query. Links no control code of its own: everything goes through the library file.
#include "platform/automation/classregistry.h"
#include "platform/automation/createobject.h"
#include "platform/automation/hresult.h"
#include "platform/automation/libraryentrypoints.h"

#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

constexpr const char* kProgId = "Vorlanecontrol.Vorlane";
constexpr const char* kClassGuid = "{E7CC63F0-883E-4C8B-85F2-48BE5280A8FC}";
constexpr const char* kPageGuid = "{20B443C6-55E2-46A8-ADA3-7A43BBFCD155}";

class Library : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_config.path() + "/system"));
        m_library.setFileName(QStringLiteral(VRLN401_PATH));
        ASSERT_TRUE(m_library.load()) << qPrintable(m_library.errorString());
    }
    template <class F> F entry(const char* name)
    {
        return reinterpret_cast<F>(m_library.resolve(name));
    }
    automation::HResult registerServer()
    {
        return entry<automation::DllRegisterServerFunction>("DllRegisterServer")();
    }
    automation::HResult canUnloadNow()
    {
        return entry<automation::DllCanUnloadNowFunction>("DllCanUnloadNow")();
    }

    QTemporaryDir m_config;
    QLibrary m_library;
};

} // namespace

TEST_F(Library, RegistersItsClassesProgIdAndTypeLibrary)
{
    ASSERT_EQ(registerServer(), automation::S_OK_);
    automation::ClassRegistry registry;
    EXPECT_TRUE(registry.filePath().startsWith(m_config.path()));
    EXPECT_EQ(registry.classOfProgId(kProgId).value_or(""), kClassGuid);
    const QString path = registry.libraryOfClass(kClassGuid).value_or(QString());
    EXPECT_EQ(path, QFileInfo(QStringLiteral(VRLN401_PATH)).canonicalFilePath());
    EXPECT_TRUE(registry.findClass(kPageGuid).has_value());
    const auto typeLibrary = registry.findTypeLibrary("{48250ACE-8342-4EA8-85F9-1F377711A6ED}");
    ASSERT_TRUE(typeLibrary);
    EXPECT_EQ(typeLibrary->path, path);
    EXPECT_EQ(typeLibrary->major, 1);
    EXPECT_EQ(typeLibrary->minor, 0);

    auto unregister = entry<automation::DllUnregisterServerFunction>("DllUnregisterServer");
    ASSERT_EQ(unregister(), automation::S_OK_);
    EXPECT_FALSE(registry.classOfProgId(kProgId).has_value());
    EXPECT_FALSE(registry.findClass(kClassGuid).has_value());
    EXPECT_FALSE(QFileInfo::exists(registry.filePath())) << "the type library went too";
}

// A host may resolve the entry points and the type library, nothing else: the platform code
// linked into the library must not clash with a host's own copy.
TEST_F(Library, ExportsOnlyItsEntryPointsAndTypeLibrary)
{
    const QString nm = QStandardPaths::findExecutable(QStringLiteral("nm"));
    if (nm.isEmpty())
        GTEST_SKIP() << "nm is not installed";
    QProcess process;
    process.start(
        nm, {QStringLiteral("-D"), QStringLiteral("--defined-only"), QStringLiteral(VRLN401_PATH)});
    ASSERT_TRUE(process.waitForFinished(30000));
    QByteArrayList names;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() == 3)
            names << fields[2];
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (QByteArrayList{"AutomationTypeLibrary", "DllCanUnloadNow", "DllGetClassObject",
                              "DllRegisterServer", "DllUnregisterServer"}));
}

TEST_F(Library, HostCreatesTheControlByProgId)
{
    automation::RuntimeError error{};
    QByteArray description;
    EXPECT_FALSE(automation::createObject(kProgId, &error, &description));
    EXPECT_EQ(error, automation::RuntimeError::CantCreateObject);
    EXPECT_TRUE(description.contains(kProgId)) << description.constData();

    ASSERT_EQ(registerServer(), automation::S_OK_);
    automation::Ref<automation::Dispatch> control =
        automation::createObject(kProgId, &error, &description);
    ASSERT_TRUE(control) << description.constData();
    EXPECT_EQ(QByteArray(control->interfaceInfo().name), "_Vorlane");
    EXPECT_EQ(control->get(*control->idOfName("VERSION")).value.stringValue(), "4.0.1");
    EXPECT_NE(control->connectionPoint(), nullptr);
    EXPECT_NE(control->embeddedControl(), nullptr);
}

// A host without a window system (a headless scan) loads no widget library through the control:
// its widgets wait in their companion until a host asks for one.
TEST_F(Library, HostWithoutWidgetsLoadsNoWidgetLibrary)
{
    ASSERT_EQ(registerServer(), automation::S_OK_);
    QByteArray description;
    automation::Ref<automation::Dispatch> control =
        automation::createObject(kProgId, nullptr, &description);
    ASSERT_TRUE(control) << description.constData();
    // The read-only notice goes to standard error without a widget application.
    EXPECT_TRUE(
        control->put(*control->idOfName("Version"), automation::Variant::fromString("5")).ok());
    EXPECT_EQ(control->get(*control->idOfName("Version")).value.stringValue(), "4.0.1");
    control->invoke(*control->idOfName("Disconnect"), automation::MemberKind::Method, {});
    for (const char* library : {"libQt6Widgets.so.6", "libQt6Gui.so.6"}) {
        EXPECT_EQ(dlopen(library, RTLD_LAZY | RTLD_NOLOAD), nullptr) << library;
    }
}

TEST_F(Library, UnloadQueryCountsLiveObjectsAndLocks)
{
    EXPECT_EQ(canUnloadNow(), automation::S_OK_);
    auto getClassObject = entry<automation::DllGetClassObjectFunction>("DllGetClassObject");
    automation::ClassFactory* raw = nullptr;
    ASSERT_EQ(getClassObject(kClassGuid, &raw), automation::S_OK_);
    auto factory = automation::Ref<automation::ClassFactory>::adopt(raw);
    {
        automation::Ref<automation::Dispatch> object = factory->createInstance();
        ASSERT_TRUE(object);
        EXPECT_EQ(canUnloadNow(), automation::S_FALSE_);
    }
    EXPECT_EQ(canUnloadNow(), automation::S_OK_);
    factory->lockServer(true);
    EXPECT_EQ(canUnloadNow(), automation::S_FALSE_);
    factory->lockServer(false);
    EXPECT_EQ(canUnloadNow(), automation::S_OK_);
    EXPECT_EQ(getClassObject("{00000000-0000-0000-0000-000000000000}", &raw),
              automation::ClassNotAvailable);
}

TEST_F(Library, TypeLibraryResourceDescribesTheControl)
{
    auto resource = entry<automation::TypeLibraryResourceFunction>("AutomationTypeLibrary");
    ASSERT_NE(resource, nullptr);
    const automation::TypeLibraryInfo* library = resource();
    EXPECT_EQ(QByteArray(library->name), "Vorlanecontrol");
    EXPECT_EQ(QByteArray(library->help), "Vorlane 4.0.1");
    EXPECT_EQ(library->lcid, 0x409u);
    ASSERT_EQ(library->interfaces.size(), 3u);
    EXPECT_EQ(QByteArray(library->interfaces[0]->name), "_Vorlane");
    EXPECT_EQ(library->interfaces[0]->members.size(), 52u); // 31 gets, 12 puts, 9 methods
    EXPECT_EQ(QByteArray(library->interfaces[2]->name), "__Vorlane");
}

// The trace header names the file the control was loaded from, by its base name: a renamed
// copy must not claim to be VRLN401.
TEST_F(Library, TraceHeaderNamesTheLibraryFileThatHoldsTheControl)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath("VRLN401-renamed.so");
    ASSERT_TRUE(QFile::copy(QStringLiteral(VRLN401_PATH), copy));
    const struct {
        QString file;
        QByteArray name;
    } cases[] = {{QStringLiteral(VRLN401_PATH), "(VRLN401)"}, {copy, "(VRLN401-renamed)"}};
    for (const auto& c : cases) {
        QLibrary library(c.file);
        ASSERT_TRUE(library.load()) << qPrintable(library.errorString());
        auto getClassObject = reinterpret_cast<automation::DllGetClassObjectFunction>(
            library.resolve("DllGetClassObject"));
        automation::ClassFactory* raw = nullptr;
        ASSERT_EQ(getClassObject(kClassGuid, &raw), automation::S_OK_);
        const QString trace = dir.filePath(QFileInfo(c.file).baseName() + ".trace");
        {
            auto factory = automation::Ref<automation::ClassFactory>::adopt(raw);
            automation::Ref<automation::Dispatch> control = factory->createInstance();
            control->put(*control->idOfName("DebugFile"),
                         automation::Variant::fromString(QFile::encodeName(trace)));
            control->put(*control->idOfName("DebugMode"), automation::Variant::fromBool(true));
            control->invoke(*control->idOfName("Disconnect"), automation::MemberKind::Method, {});
        }
        QFile file(trace);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(c.file);
        EXPECT_TRUE(file.readLine().startsWith("Vorlane version:4.0.1 " + c.name + " at:"))
            << qPrintable(c.file);
    }
}
