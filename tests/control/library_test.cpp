// The shipped library as a host meets it: self-registration, creation by ProgID, the unload
// query. Links no control code of its own: everything goes through the library file.
#include "platform/automation/classregistry.h"
#include "platform/automation/createobject.h"
#include "platform/automation/hresult.h"
#include "platform/automation/libraryentrypoints.h"

#include <QFileInfo>
#include <QLibrary>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr const char* kProgId = "Vorlanecontrol.Vorlane";
constexpr const char* kClassGuid = "{E7CC63F0-883E-4C8B-85F2-48BE5280A8FC}";
constexpr const char* kPageGuid = "{20B443C6-55E2-46A8-ADA3-7A43BBFCD155}";
constexpr const char* kLibraryGuid = "{48250ACE-8342-4EA8-85F9-1F377711A6ED}";

class Library : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
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
    const auto library = registry.findTypeLibrary(kLibraryGuid);
    ASSERT_TRUE(library.has_value());
    EXPECT_EQ(library->major, 1);
    EXPECT_EQ(library->minor, 0);

    auto unregister = entry<automation::DllUnregisterServerFunction>("DllUnregisterServer");
    ASSERT_EQ(unregister(), automation::S_OK_);
    EXPECT_FALSE(registry.classOfProgId(kProgId).has_value());
    EXPECT_FALSE(registry.findClass(kClassGuid).has_value());
    EXPECT_FALSE(registry.findTypeLibrary(kLibraryGuid).has_value());
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
    const automation::InterfaceInfo* vorlane = automation::findInterface(*library, "_Vorlane");
    ASSERT_NE(vorlane, nullptr);
    EXPECT_EQ(vorlane->members.size(), 46u); // 27 gets, 10 puts, 9 methods
    EXPECT_NE(automation::findInterface(*library, "__Vorlane"), nullptr);
}
