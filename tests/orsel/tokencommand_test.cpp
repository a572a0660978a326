// The token command as the scanner runs it: the first line of its output is the token; a failure,
// an overrun of the limit or no output names the command and its last line of standard error,
// and an overrun ends everything the command started.
#include "scanner/tokencommand.h"
#include "tests/support/filebytes.h"
#include "tests/support/waitfor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(TokenCommand, FirstLineIsTheTokenAndEveryFailureNamesTheCommand)
{
    struct Case {
        const char* command;
        QByteArray token;
        QString error;
    };
    const Case cases[] = {
        {"printf 'eyJ.tok\\r\\nrefresh\\n'", "eyJ.tok", {}},
        {"printf '  spaced  '", "spaced", {}},
        {"echo tok; echo 'warning: cache' >&2", "tok", {}},
        {"echo tok; echo 'first' >&2; echo 'consent needed' >&2; exit 2",
         {},
         "The token command \"echo tok; echo 'first' >&2; echo 'consent needed' >&2; exit 2\" "
         "failed with exit status 2: consent needed."},
        {"exit 1", {}, "The token command \"exit 1\" failed with exit status 1."},
        {"printf '\\n\\n'", {}, "The token command \"printf '\\n\\n'\" printed no token."},
        {"kill -9 $$", {}, "The token command \"kill -9 $$\" crashed."},
        {"/nonexistent/helper",
         {},
         "The token command \"/nonexistent/helper\" failed with exit status 127: /bin/sh: 1: "
         "/nonexistent/helper: not found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const TokenCommandResult result = runTokenCommand(QString::fromUtf8(c.command), 10s);
        EXPECT_EQ(result.token, c.token);
        EXPECT_EQ(result.ok(), !c.token.isEmpty());
        EXPECT_EQ(result.error, c.error);
    }
}

TEST(TokenCommand, OverrunEndsTheCommandAndWhatItStarted)
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("child.pid"));
    // The shell waits on a child of its own: both must go, or the child would hold the helper's
    // lock (or a browser window) long after the scan gave up.
    const QString command =
        QStringLiteral("echo 'opening a browser' >&2; sleep 60 & echo $! >%1; wait").arg(pidFile);
    const TokenCommandResult result = runTokenCommand(command, 300ms);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, "The token command \"" + command +
                                "\" did not finish within 0.3 s: opening a browser.");
    const pid_t child = fileBytes(pidFile).trimmed().toInt();
    ASSERT_GT(child, 0);
    EXPECT_TRUE(waitFor([&] { return ::kill(child, 0) != 0; }, 5000)) << "child " << child;
}

} // namespace
