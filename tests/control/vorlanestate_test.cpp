// Status and error texts, and the debug trace file.
#include "tests/control/vorlanetestaccess.h"
#include "tests/support/filebytes.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(VorlaneState, NewInstanceStartsDisconnectedWithDefaults)
{
    Vorlane v;
    EXPECT_EQ(v.Status(), 0);
    EXPECT_EQ(v.StatusText(), "Disconnected");
    EXPECT_EQ(v.Error(), 0);
    EXPECT_EQ(v.ErrorText(), "");
    EXPECT_EQ(v.POPPort(), 110);
    EXPECT_EQ(v.POPTimeout(), 10);
    EXPECT_FALSE(v.DebugMode());
    EXPECT_EQ(Vorlane::Version(), "4.0.1");
}

TEST(VorlaneState, ErrorTextFollowsTheCodeNotTheLeftoverDetail)
{
    Vorlane v;
    VorlaneTestAccess::setError(v, 0, "-ERR old");
    EXPECT_EQ(v.ErrorText(), "");
    VorlaneTestAccess::setError(v, 14, "");
    EXPECT_EQ(v.ErrorText(), "Error received from USER command: ");
    VorlaneTestAccess::setError(v, 15, "-ERR nope\r\n");
    EXPECT_EQ(v.ErrorText(), "Error received from PASS command: -ERR nope\r\n");
    VorlaneTestAccess::setError(v, 12, "ignored");
    EXPECT_EQ(v.ErrorText(), "Timeout waiting on connect request");
    VorlaneTestAccess::setError(v, 31, "Error writing to file");
    EXPECT_EQ(v.ErrorText(), "File error: Error writing to file");
    // Socket numbers, and the never-stored 1..10, show the socket's description.
    VorlaneTestAccess::setError(v, 10061, "");
    EXPECT_EQ(v.ErrorText(), "");
    VorlaneTestAccess::setSocketDescription(v, "Connection is forcefully rejected");
    EXPECT_EQ(v.ErrorText(), "Connection is forcefully rejected");
    VorlaneTestAccess::setError(v, 5, "");
    EXPECT_EQ(v.ErrorText(), "Connection is forcefully rejected");
    VorlaneTestAccess::setError(v, -3, "");
    EXPECT_EQ(v.ErrorText(), "Connection is forcefully rejected");
    // The ends of the control's own codes, and just beyond them.
    VorlaneTestAccess::setError(v, 10, "");
    EXPECT_EQ(v.ErrorText(), "Connection is forcefully rejected");
    VorlaneTestAccess::setError(v, 11, "");
    EXPECT_EQ(v.ErrorText(),
              "Connection was accepted but no data received before timeout. Connection closed");
    VorlaneTestAccess::setError(v, 34, "-ERR later");
    EXPECT_EQ(v.ErrorText(), "Error received from QUIT command: -ERR later");
    VorlaneTestAccess::setError(v, 36, "-ERR no");
    EXPECT_EQ(v.ErrorText(), "Sign-in refused: -ERR no");
    VorlaneTestAccess::setError(v, 37, "");
    EXPECT_EQ(v.ErrorText(), "Connection is forcefully rejected");
}

TEST(VorlaneTrace, WritesNothingWhileDebugModeIsOff)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    Vorlane v;
    v.setDebugFile(QFile::encodeName(path));
    VorlaneTestAccess::trace(v, "hello");
    v.Disconnect();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(VorlaneTrace, EntriesAreThreeLinesAfterOneHeaderPerInstance)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    {
        Vorlane first;
        first.setDebugFile(QFile::encodeName(path));
        first.setDebugMode(true);
        VorlaneTestAccess::trace(first, "one");
        first.setDebugMode(false);
        first.setDebugMode(true);
        VorlaneTestAccess::trace(first, "two");
        Vorlane second;
        second.setDebugFile(QFile::encodeName(path));
        second.setDebugMode(true);
        VorlaneTestAccess::trace(second, "three");
    }
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    ASSERT_EQ(lines.size(), 12); // 2 headers + 3 entries of 3 lines + the empty tail
    // Linked into this test program, the control is held by the program's file.
    const QByteArray header =
        "Vorlane version:4.0.1 (" +
        QFileInfo(QCoreApplication::applicationFilePath()).baseName().toUtf8() + ") at:";
    EXPECT_TRUE(lines[0].startsWith(header)) << lines[0].constData();
    EXPECT_TRUE(lines[0].endsWith('\r'));
    EXPECT_EQ(lines[1], "State:0 RemHost: RemIP: RemPort:0   \r");
    EXPECT_EQ(lines[2], "one\r");
    EXPECT_EQ(lines[3], "+\r");
    EXPECT_EQ(lines[5], "two\r");
    EXPECT_TRUE(lines[7].startsWith(header));
    EXPECT_EQ(lines[9], "three\r");
}

TEST(VorlaneTrace, UnwritableTraceFileIsIgnored)
{
    Vorlane v;
    v.setDebugMode(true);
    v.setDebugFile("");
    VorlaneTestAccess::trace(v, "nowhere");
    v.setDebugFile("/nonexistent-folder/trace.txt");
    VorlaneTestAccess::trace(v, "nowhere");
    v.Disconnect();
    EXPECT_EQ(v.Error(), 0);
}
