// The property page against a real control: its layout, loading, applying in order with the
// control's read-only box, the apply that stops at the first failed put, the selection and the
// changed flag.
#include "control/ui/vorlanepropertypage.h"
#include "control/vorlaneobject.h"
#include "tests/propertypage/modalboxanswerer.h"
#include "tests/propertypage/pagetestsupport.h"
#include "tests/propertypage/recordingdispatch.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

using automation::Dispatch;
using automation::makeRef;
using automation::Ref;
using automation::RuntimeError;

namespace {

// Load and apply order; the control shows its box during the Version put.
const char* const kOrder[] = {"DebugFile",   "DebugMode",   "Version", "POPTimeout",
                              "POPPassword", "POPUsername", "POPPort", "POPHostname"};

std::vector<std::string> calls(const char* verb)
{
    std::vector<std::string> log;
    for (const char* property : kOrder)
        log.push_back(std::string(verb) + " " + property);
    return log;
}

class PropertyPageTest : public ::testing::Test {
protected:
    Ref<VorlaneObject> control = makeRef<VorlaneObject>();
    std::vector<std::string> log;
    VorlanePropertyPage page;

    Ref<Dispatch> recorded(Ref<Dispatch> target)
    {
        return makeRef<RecordingDispatch>(std::move(target), log);
    }
    void edit(const char* property, const QString& text) { boxOf(page, property)->setText(text); }
};

TEST_F(PropertyPageTest, OpeningOnANewControlShowsItsDefaults)
{
    page.setObjects({control});
    EXPECT_EQ(textOf(page, "POPHostname"), "");
    EXPECT_EQ(textOf(page, "POPPort"), "110");
    EXPECT_EQ(textOf(page, "POPUsername"), "");
    EXPECT_EQ(textOf(page, "POPPassword"), "");
    EXPECT_EQ(textOf(page, "POPTimeout"), "10");
    EXPECT_EQ(textOf(page, "DebugMode"), "False");
    EXPECT_EQ(textOf(page, "DebugFile"), "");
    EXPECT_EQ(textOf(page, "Version"), "4.0.1");
}

TEST_F(PropertyPageTest, LayoutNamesAndTabOrderFollowTheTable)
{
    struct Expected {
        const char* name;
        const char* caption;                    // null for a text box
        int left, top, width, height, tabIndex; // twips
    };
    const Expected table[] = {
        {"txtDebugFile", nullptr, 3000, 1065, 2700, 330, 15},
        {"txtDebugMode", nullptr, 3000, 420, 2700, 330, 13},
        {"txtVersion", nullptr, 3000, 3000, 2700, 330, 11},
        {"txtPOPTimeout", nullptr, 90, 2970, 2700, 330, 9},
        {"txtPOPPassword", nullptr, 90, 2320, 2700, 330, 7},
        {"txtPOPUsername", nullptr, 90, 1670, 2700, 330, 5},
        {"txtPOPPort", nullptr, 90, 1020, 2700, 330, 3},
        {"txtPOPHostname", nullptr, 90, 370, 2700, 330, 1},
        {"lblDebugFile", "DebugFile:", 3000, 825, 2700, 240, 14},
        {"lblDebugMode", "DebugMode:", 3000, 165, 2700, 240, 12},
        {"lblVersion", "Version:", 3120, 2640, 2700, 240, 10},
        {"lblPOPTimeout", "POPTimeout:", 90, 2720, 2700, 240, 8},
        {"lblPOPPassword", "POPPassword:", 90, 2070, 2700, 240, 6},
        {"lblPOPUsername", "POPUsername:", 90, 1420, 2700, 240, 4},
        {"lblPOPPort", "POPPort:", 90, 770, 2700, 240, 2},
        {"lblPOPHostname", "POPHostname:", 90, 120, 2700, 240, 0},
    };
    const auto px = [](int twips) { return (twips + 7) / 15; };

    EXPECT_EQ(page.windowTitle(), "Vorlane_Property_Page");
    EXPECT_EQ(page.size(), QSize(395, 233));

    std::vector<std::string> created;
    for (const QObject* child : page.children())
        created.push_back(child->objectName().toStdString());
    std::vector<std::string> byTable;
    std::map<int, std::string> byTabIndex;
    for (const Expected& e : table) {
        SCOPED_TRACE(e.name);
        byTable.push_back(e.name);
        byTabIndex[e.tabIndex] = e.name;
        const QWidget* widget = page.findChild<QWidget*>(e.name);
        ASSERT_TRUE(widget);
        EXPECT_EQ(widget->geometry(), QRect(px(e.left), px(e.top), px(e.width), px(e.height)));
        if (e.caption) {
            const auto* label = qobject_cast<const QLabel*>(widget);
            ASSERT_TRUE(label);
            EXPECT_EQ(label->text(), e.caption);
        } else {
            const auto* box = qobject_cast<const QLineEdit*>(widget);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->echoMode(), QLineEdit::Normal); // the password is shown in clear
        }
    }
    EXPECT_EQ(created, byTable);

    // Tab walks the boxes by tab index and wraps round.
    std::vector<std::string> expectedTabs;
    for (const auto& [index, name] : byTabIndex) {
        if (name.starts_with("txt"))
            expectedTabs.push_back(name);
    }
    std::vector<std::string> tabs;
    for (QWidget* w = page.nextInFocusChain(); w != &page; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            tabs.push_back(w->objectName().toStdString());
    }
    EXPECT_EQ(tabs, expectedTabs);
}

TEST_F(PropertyPageTest, ApplyWithoutEditsWritesAllEightInOrderAndShowsTheBoxOnce)
{
    // A password that is not UTF-8 must come back byte for byte.
    putText(*control, "POPPassword", "s\xE9same\xFF");
    page.setObjects({recorded(control)});
    EXPECT_EQ(log, calls("get"));

    log.clear();
    ModalBoxAnswerer answerer(log);
    const automation::CallResult result = page.apply();
    EXPECT_TRUE(result.ok()) << result.description.constData();

    std::vector<std::string> expected = calls("put");
    expected.insert(expected.begin() + 3, "box: Property is Read-only");
    EXPECT_EQ(log, expected);
    EXPECT_EQ(valueOf(*control, "POPPassword"), "s\xE9same\xFF");
    EXPECT_EQ(valueOf(*control, "POPPort"), "110");
}

TEST(PropertyPageFailingApply, StopsAtTheFailedPutAndWritesNothingAfterIt)
{
    struct Case {
        const char* property;
        const char* text;
        RuntimeError error;
        int boxes; // how often "Property is Read-only" showed before the failure
    };
    const Case cases[] = {
        {"POPTimeout", "ten", RuntimeError::TypeMismatch, 1},
        {"POPTimeout", "40000", RuntimeError::Overflow, 1},
        {"DebugMode", "maybe", RuntimeError::TypeMismatch, 0},
        {"POPPort", "", RuntimeError::TypeMismatch, 1},
    };
    struct Setting {
        const char* property;
        QByteArray before;
        QString edited;
    };
    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("trace.log"));
    const Setting settings[] = {
        {"DebugFile", "", trace},
        {"DebugMode", "False", "True"},
        {"POPTimeout", "30", "45"},
        {"POPPassword", "old pass", "new pass"},
        {"POPUsername", "olduser", "newuser"},
        {"POPPort", "995", "1995"},
        {"POPHostname", "old.example", "new.example"},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.property) + " = \"" + c.text + "\"");
        const Ref<VorlaneObject> control = makeRef<VorlaneObject>();
        for (const Setting& s : settings)
            putText(*control, s.property, s.before);
        VorlanePropertyPage page;
        page.setObjects({control});
        for (const Setting& s : settings)
            boxOf(page, s.property)->setText(s.edited);
        boxOf(page, c.property)->setText(c.text);

        std::vector<std::string> log;
        ModalBoxAnswerer answerer(log);
        EXPECT_EQ(page.apply().error, c.error);
        EXPECT_EQ(answerer.count(), c.boxes);
        EXPECT_TRUE(page.isChanged());

        bool reachedFailure = false;
        for (const Setting& s : settings) {
            reachedFailure = reachedFailure || std::string(s.property) == c.property;
            const std::string expected =
                reachedFailure ? s.before.toStdString() : s.edited.toStdString();
            EXPECT_EQ(valueOf(*control, s.property), expected) << s.property;
        }
        putText(*control, "DebugMode", "False"); // no end trace from the control's teardown
    }
}

TEST_F(PropertyPageTest, OnlyTheFirstSelectedControlIsLoadedAndChanged)
{
    const Ref<VorlaneObject> second = makeRef<VorlaneObject>();
    putText(*control, "POPHostname", "first.example");
    putText(*second, "POPHostname", "second.example");
    std::vector<std::string> secondLog;
    page.setObjects({control, makeRef<RecordingDispatch>(second, secondLog)});
    EXPECT_EQ(textOf(page, "POPHostname"), "first.example");

    edit("POPHostname", "changed.example");
    ModalBoxAnswerer answerer(log);
    ASSERT_TRUE(page.apply().ok());
    EXPECT_EQ(valueOf(*control, "POPHostname"), "changed.example");
    EXPECT_EQ(valueOf(*second, "POPHostname"), "second.example");
    EXPECT_TRUE(secondLog.empty());
}

TEST_F(PropertyPageTest, ChangedFlagFollowsTheTextsAndASuccessfulApply)
{
    EXPECT_FALSE(page.isChanged());
    page.setObjects({control});
    EXPECT_TRUE(page.isChanged()) << "filling the boxes changes their texts";

    ModalBoxAnswerer answerer(log);
    ASSERT_TRUE(page.apply().ok());
    EXPECT_FALSE(page.isChanged());
    page.setObjects({control});
    EXPECT_FALSE(page.isChanged()) << "the same texts again are no change";

    QTest::keyClicks(boxOf(page, "POPUsername"), "x");
    EXPECT_TRUE(page.isChanged());
    ASSERT_TRUE(page.apply().ok());
    EXPECT_EQ(valueOf(*control, "POPUsername"), "x");

    // No selection: nothing to write to, nothing written.
    page.setObjects({});
    edit("POPUsername", "y");
    EXPECT_TRUE(page.apply().ok());
    EXPECT_EQ(valueOf(*control, "POPUsername"), "x");
    EXPECT_EQ(answerer.count(), 2);
}

} // namespace
