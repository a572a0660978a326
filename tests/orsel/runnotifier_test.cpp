// What the desktop is told at the end of a headless run: which runs notify at all, the summary,
// the urgency, one line per message with its decoded sender and subject, and the click action.
#include "scanner/runnotifier.h"

#include <gtest/gtest.h>

namespace {

using Finding = RunOutcome::Finding;
using Urgency = DesktopNotification::Urgency;

RunOutcome::Message infected(QByteArray from, QByteArray subject, QString detail)
{
    return {Finding::Infected, std::move(from), std::move(subject), std::move(detail)};
}

RunOutcome::Message unchecked(QByteArray from, QByteArray subject, QString detail)
{
    return {Finding::NotFullyChecked, std::move(from), std::move(subject), std::move(detail)};
}

TEST(RunNotifier, EachOutcomeGetsItsSummaryBodyAndUrgency)
{
    const struct {
        const char* name;
        RunOutcome outcome;
        const char* quarantine; // --quarantine DIR, or ""
        const char* summary;    // "" for a run that sends nothing
        const char* body;
        Urgency urgency;
        const char* action;
    } cases[] = {
        {"clean run", {0, {}, {}, true}, "", "", "", Urgency::Normal, ""},
        {"clean run, quarantine", {0, {}, {}, true}, "/q", "", "", Urgency::Normal, ""},
        {"infected, removed",
         {4,
          {},
          {infected("=?UTF-8?Q?=C3=84nne_Meier?= <anne@example.org>", "Your invoice", "EICAR")},
          true},
         "",
         "Infected mail removed",
         "me at pop.example\nRemoved: Änne Meier <anne@example.org>, \"Your invoice\": EICAR",
         Urgency::Critical,
         ""},
        {"infected, quarantined: the click opens the folder",
         {4, {}, {infected("a@b", "x", "EICAR, Other")}, true},
         "/home/me/quarantine",
         "Infected mail removed",
         "me at pop.example\nRemoved: a@b, \"x\": EICAR, Other",
         Urgency::Critical,
         "Open the quarantine folder"},
        {"infected, not committed",
         {4, {}, {infected("", "", "EICAR")}, false},
         "",
         "Infected mail removed",
         "me at pop.example\nInfected, still on the server: (no sender), \"(no subject)\": EICAR",
         Urgency::Critical,
         ""},
        {"not fully checked",
         {5, {}, {unchecked("b@c", "Big\r\n zip", "the archive is too deep")}, true},
         "/q",
         "Some mail was not fully checked",
         "me at pop.example\nNot fully checked: b@c, \"Big zip\": the archive is too deep",
         Urgency::Normal,
         ""},
        {"failed after a hit",
         {3, QStringLiteral("Run-time error '5':\n\nno\tway"), {infected("a@b", "x", "E")}, false},
         "",
         "Mail scan failed",
         "me at pop.example\nRun-time error '5': no way\nInfected, still on the server: a@b, "
         "\"x\": E",
         Urgency::Critical,
         ""},
        {"failed login",
         {1, QStringLiteral("-ERR [AUTH] Authentication failed."), {}, false},
         "/q",
         "Mail scan failed",
         "me at pop.example\n-ERR [AUTH] Authentication failed.",
         Urgency::Normal,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunNotifier notifier(Account(), QString::fromUtf8(c.quarantine), QStringLiteral("/p"));
        notifier.setMailbox(QStringLiteral("me"), QStringLiteral("pop.example"));
        const std::optional<DesktopNotification> shown = notifier.notificationFor(c.outcome);
        if (*c.summary == '\0') {
            EXPECT_FALSE(shown);
            continue;
        }
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->summary.toStdString(), c.summary);
        EXPECT_EQ(shown->body.toStdString(), c.body);
        EXPECT_EQ(shown->urgency, c.urgency);
        EXPECT_EQ(shown->defaultAction.toStdString(), c.action);
        // What the helper process is handed comes back the same.
        const std::optional<DesktopNotification> handed =
            DesktopNotification::fromJson(shown->toJson());
        ASSERT_TRUE(handed);
        EXPECT_EQ(handed->body, shown->body);
        EXPECT_EQ(handed->urgency, shown->urgency);
        EXPECT_EQ(handed->defaultAction, shown->defaultAction);
    }
}

// The body names the account: a named one by its name, so that two timers' bubbles differ, and
// a header that would run over several lines or garble the bubble stays on its own line.
TEST(RunNotifier, BodyNamesTheAccountAndKeepsOneLinePerMessage)
{
    QString why;
    RunNotifier work(*Account::named(QStringLiteral("work"), &why), QString(), QString());
    const RunOutcome outcome{
        4,
        {},
        {infected("x@y", QByteArray("A\nB\x1b[31m") + QByteArray(200, 'z'), "EICAR"),
         infected("p@q", "second", "EICAR")},
        true};
    EXPECT_TRUE(work.notificationFor(outcome)->body.startsWith("Account work\n"));
    work.setMailbox(QStringLiteral("me"), QStringLiteral("h"));
    const QStringList lines = work.notificationFor(outcome)->body.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Account work: me at h");
    EXPECT_TRUE(lines[1].startsWith("Removed: x@y, \"A B [31mzzz")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith("...\": EICAR")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "Removed: p@q, \"second\": EICAR");
    EXPECT_FALSE(DesktopNotification::fromJson("{\"summary\":\"s\",\"urgency\":7}"));
    EXPECT_FALSE(DesktopNotification::fromJson("not json"));
}

} // namespace
