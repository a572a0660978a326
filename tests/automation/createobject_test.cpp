// Creating objects by ProgID: a self-registering test library end to end, and every way creation
// can fail with a description that names the cause.
#include "platform/automation/createobject.h"
#include "platform/automation/libraryentrypoints.h"
#include "tests/automation/scopedconfighome.h"
#include "tests/automation/variantprinter.h"

#include <QFile>
#include <QLibrary>
#include <QSettings>
#include <gtest/gtest.h>

using namespace automation;

namespace {

constexpr char greeterGuid[] = "{C0FFEE00-1234-4321-ABCD-0123456789AB}";

struct Creation {
    Ref<Dispatch> object;
    RuntimeError error = RuntimeError::None;
    QByteArray description;
};

Creation create(QByteArrayView progId)
{
    Creation c;
    c.object = createObject(progId, &c.error, &c.description);
    return c;
}

template <class F> F entryPoint(const char* name)
{
    QLibrary library(QStringLiteral(AUTOMATION_TEST_PLUGIN));
    return reinterpret_cast<F>(library.resolve(name));
}

void expectFailure(const Creation& c, const QByteArray& cause)
{
    EXPECT_FALSE(c.object);
    EXPECT_EQ(c.error, RuntimeError::CantCreateObject);
    EXPECT_TRUE(c.description.startsWith("ActiveX component can't create object: "))
        << c.description.constData();
    EXPECT_TRUE(c.description.contains(cause)) << c.description.constData();
}

TEST(CreateObject, RegistersALibraryAndCreatesItsClassByProgId)
{
    ScopedConfigHome home;
    const auto registerServer = entryPoint<DllRegisterServerFunction>(dllRegisterServerName);
    const auto canUnload = entryPoint<DllCanUnloadNowFunction>(dllCanUnloadNowName);
    ASSERT_TRUE(registerServer && canUnload);
    ASSERT_EQ(registerServer(), S_OK_);
    EXPECT_EQ(ClassRegistry().libraryOfClass(greeterGuid),
              QFileInfo(AUTOMATION_TEST_PLUGIN).canonicalFilePath());

    Creation c = create("automationtest.greeter");
    ASSERT_TRUE(c.object) << c.description.constData();
    EXPECT_EQ(c.error, RuntimeError::None);
    EXPECT_TRUE(c.description.isEmpty());
    EXPECT_EQ(canUnload(), S_FALSE_);

    const std::optional<qint32> greet = c.object->idOfName("GREET");
    ASSERT_TRUE(greet);
    Variant name[] = {Variant::fromString("world")};
    const CallResult result = c.object->invoke(*greet, MemberKind::Method, name);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value, Variant::fromString("Hello, world"));
    EXPECT_EQ(name[0], Variant::fromString("WORLD"));

    c.object.reset();
    EXPECT_EQ(canUnload(), S_OK_);

    const auto unregisterServer = entryPoint<DllUnregisterServerFunction>(dllUnregisterServerName);
    ASSERT_EQ(unregisterServer(), S_OK_);
    expectFailure(create("AutomationTest.Greeter"), "is not registered");
}

TEST(CreateObject, NamesTheMissingPiece)
{
    ScopedConfigHome home;
    ClassRegistry registry;
    expectFailure(create("Nobody.Home"), "the ProgID \"Nobody.Home\" is not registered in \"" +
                                             registry.filePath().toLocal8Bit() + '"');

    ASSERT_TRUE(registry.registerProgId("Orphan.Class", greeterGuid));
    expectFailure(create("Orphan.Class"), "has no library registered");
    {
        QSettings settings(registry.filePath(), QSettings::IniFormat);
        settings.setValue("ProgIDs/broken.entry/Class", "12345");
    }
    expectFailure(create("Broken.Entry"), "the class registry \"" +
                                              registry.filePath().toLocal8Bit() +
                                              "\" is corrupt: the ProgID");

    const QString missing = home.path() + "/gone.so";
    ASSERT_TRUE(registry.registerClass({greeterGuid, "Greeter", missing, "Apartment"}));
    expectFailure(create("Orphan.Class"), "the library file \"" + missing.toLocal8Bit() +
                                              "\" of class " + greeterGuid + " does not exist");

    const QString notALibrary = home.path() + "/text.so";
    QFile text(notALibrary);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a library\n");
    text.close();
    ASSERT_TRUE(registry.registerClass({greeterGuid, "Greeter", notALibrary, "Apartment"}));
    expectFailure(create("Orphan.Class"), "cannot be loaded: ");

    ASSERT_TRUE(registry.registerClass({greeterGuid, "Greeter", AUTOMATION_TEST_NOENTRY, ""}));
    expectFailure(create("Orphan.Class"), "has no entry point DllGetClassObject");

    const char otherGuid[] = "{C0FFEE00-0000-0000-0000-000000000000}";
    ASSERT_TRUE(registry.registerProgId("Wrong.Class", otherGuid));
    ASSERT_TRUE(registry.registerClass({otherGuid, "Other", AUTOMATION_TEST_PLUGIN, ""}));
    expectFailure(create("Wrong.Class"), QByteArray("does not provide class ") + otherGuid +
                                             ": 0x80040111 (class not available)");
}

} // namespace
