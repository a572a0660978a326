// The page class's automation object: the widget made on demand and loaded from a selection given
// before it, and the widget's lifetime.
#include "control/propertypage/propertypageobject.h"
#include "control/vorlaneobject.h"
#include "control/vorlanewidgets.h"
#include "tests/propertypage/modalboxanswerer.h"
#include "tests/propertypage/pagetestsupport.h"
#include "tests/propertypage/recordingdispatch.h"

#include <QPointer>
#include <gtest/gtest.h>
#include <memory>

using automation::makeRef;
using automation::Ref;

namespace {

TEST(PropertyPageObject, SelectionBeforeTheWidgetIsLoadedWhenTheWidgetIsMade)
{
    const Ref<VorlaneObject> control = makeRef<VorlaneObject>();
    std::vector<std::string> log;
    const Ref<PropertyPageObject> page = makeRef<PropertyPageObject>(*vorlaneWidgets());
    page->setObjects({makeRef<RecordingDispatch>(control, log)});
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(page->isChanged());
    EXPECT_TRUE(page->apply().ok());
    EXPECT_TRUE(log.empty()) << "no widget, no edits, nothing written";

    QWidget* widget = page->widget();
    ASSERT_TRUE(widget);
    EXPECT_EQ(page->widget(), widget);
    EXPECT_EQ(widget->windowTitle(), "Vorlane_Property_Page");
    EXPECT_EQ(textOf(*widget, "POPPort"), "110");
    EXPECT_TRUE(page->isChanged());

    boxOf(*widget, "POPHostname")->setText("pop.example.org");
    ModalBoxAnswerer answerer(log);
    ASSERT_TRUE(page->apply().ok());
    EXPECT_FALSE(page->isChanged());
    EXPECT_EQ(valueOf(*control, "POPHostname"), "pop.example.org");

    const Ref<VorlaneObject> other = makeRef<VorlaneObject>();
    putText(*other, "POPPort", "995");
    page->setObjects({other});
    EXPECT_EQ(textOf(*widget, "POPPort"), "995");
}

TEST(PropertyPageObject, OwnsItsWidgetUnlessTheParentDeletedIt)
{
    const Ref<VorlaneObject> control = makeRef<VorlaneObject>();
    Ref<PropertyPageObject> page = makeRef<PropertyPageObject>(*vorlaneWidgets());
    page->setObjects({control});

    auto parent = std::make_unique<QWidget>();
    ASSERT_EQ(page->widget(parent.get())->parent(), parent.get());
    parent.reset();
    QPointer<QWidget> again = page->widget();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->parent(), nullptr);
    EXPECT_EQ(textOf(*again, "POPTimeout"), "10");

    page.reset();
    EXPECT_TRUE(again.isNull());
}

} // namespace
