// The page class as a design environment gets it: registered by the shipped library, created
// through the library's class factory, and editing a control created by ProgID. The page, the
// face and the notice box come from the library's companion module; without it they are refused.
#include "platform/automation/classregistry.h"
#include "platform/automation/createobject.h"
#include "platform/automation/embeddedcontrol.h"
#include "platform/automation/libraryentrypoints.h"
#include "platform/automation/propertypage.h"
#include "tests/automation/scopedconfighome.h"
#include "tests/propertypage/modalboxanswerer.h"
#include "tests/propertypage/pagetestsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace automation;

namespace {

constexpr char kPageClass[] = "{20B443C6-55E2-46A8-ADA3-7A43BBFCD155}";

template <class F> F entryPoint(const QString& library, const char* name)
{
    return reinterpret_cast<F>(QLibrary(library).resolve(name));
}

TEST(PropertyPageLibrary, CreatesTheRegisteredPageClassThroughTheLibrary)
{
    ScopedConfigHome home;
    const QString library = QStringLiteral(VORLANE_LIBRARY);
    const auto registerServer =
        entryPoint<DllRegisterServerFunction>(library, dllRegisterServerName);
    ASSERT_TRUE(registerServer);
    ASSERT_EQ(registerServer(), S_OK_);
    const std::optional<ClassRegistration> registered = ClassRegistry().findClass(kPageClass);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->name, "Vorlane_Property_Page");
    EXPECT_EQ(registered->libraryPath, QFileInfo(library).canonicalFilePath());

    const auto getClassObject =
        entryPoint<DllGetClassObjectFunction>(registered->libraryPath, dllGetClassObjectName);
    const auto canUnload =
        entryPoint<DllCanUnloadNowFunction>(registered->libraryPath, dllCanUnloadNowName);
    ASSERT_TRUE(getClassObject && canUnload);
    ClassFactory* raw = nullptr;
    ASSERT_EQ(getClassObject(kPageClass, &raw), S_OK_);
    Ref<ClassFactory> factory = Ref<ClassFactory>::adopt(raw);
    Ref<Dispatch> page = factory->createInstance();
    ASSERT_TRUE(page);
    EXPECT_EQ(canUnload(), S_FALSE_);

    EXPECT_TRUE(page->interfaceInfo().members.empty());
    EXPECT_EQ(page->invoke(0, MemberKind::PropertyGet, {}).error,
              RuntimeError::ObjectDoesntSupport);
    PropertyPage* site = page->propertyPage();
    ASSERT_TRUE(site);

    QByteArray description;
    Ref<Dispatch> control = createObject("Vorlanecontrol.Vorlane", nullptr, &description);
    ASSERT_TRUE(control) << description.constData();
    site->setObjects({control});
    QWidget* widget = site->widget();
    ASSERT_TRUE(widget);
    EXPECT_EQ(textOf(*widget, "POPPort"), "110");
    boxOf(*widget, "POPPort")->setText("995");
    std::vector<std::string> log;
    ModalBoxAnswerer answerer(log);
    EXPECT_TRUE(site->apply().ok());
    EXPECT_EQ(log, std::vector<std::string>{"box: Property is Read-only"});
    EXPECT_EQ(valueOf(*control, "POPPort"), "995");

    const std::unique_ptr<QWidget> face(control->embeddedControl()->createFace(nullptr));
    ASSERT_TRUE(face);
    EXPECT_EQ(face->size(), QSize(32, 32));
    EXPECT_TRUE(face->findChild<QLabel*>("Label2"));

    control.reset();
    page.reset();
    factory.reset();
    EXPECT_EQ(canUnload(), S_OK_);
}

// A copy of the library in a folder without its companion: the control works, but it has no
// face, its notice goes to standard error instead of a box, and the page class is refused.
TEST(PropertyPageLibrary, WithoutItsCompanionThereIsNoPageNoFaceAndNoBox)
{
    ScopedConfigHome home;
    QTemporaryDir folder;
    const QString library = folder.filePath(QStringLiteral("VRLN401.so"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VORLANE_LIBRARY), library));
    ASSERT_EQ(entryPoint<DllRegisterServerFunction>(library, dllRegisterServerName)(), S_OK_);

    QByteArray description;
    Ref<Dispatch> control = createObject("Vorlanecontrol.Vorlane", nullptr, &description);
    ASSERT_TRUE(control) << description.constData();
    EXPECT_EQ(control->embeddedControl()->createFace(nullptr), nullptr);
    std::vector<std::string> log;
    {
        ModalBoxAnswerer answerer(log);
        putText(*control, "Version", "5");
    }
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(valueOf(*control, "POPPort"), "110");

    const auto getClassObject =
        entryPoint<DllGetClassObjectFunction>(library, dllGetClassObjectName);
    ClassFactory* raw = reinterpret_cast<ClassFactory*>(&log); // must come back null
    EXPECT_EQ(getClassObject(kPageClass, &raw), ModuleNotFound);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(hresultText(ModuleNotFound), "0x8007007E (module not found)");
}

} // namespace
