// The settings program's part in signing in: the method and the token command on the command
// line and in the dialog, and the sign-in check, from the command line and the "Check" button,
// against a scripted server on port 110 of a loopback address of its own.
#include "scanner/modgeneral.h"
#include "settings/settingsdialog.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/loopback.h"
#include "tests/support/waitfor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// Runs the settings program while this thread's event loop serves any fake server.
Outcome runSettings(const QStringList& arguments)
{
    QProcess settings;
    settings.start(QStringLiteral(SETTINGS_PATH), arguments);
    if (!waitFor([&] { return settings.state() == QProcess::NotRunning; }, 30000)) {
        settings.kill();
        settings.waitForFinished();
    }
    return {settings.exitStatus() == QProcess::NormalExit ? settings.exitCode() : -1,
            settings.readAllStandardOutput(), settings.readAllStandardError()};
}

TEST(SettingsSignIn, MethodAndTokenCommandAreStoredOrRefused)
{
    const modGeneral::StoredSettings before = modGeneral::readSettings();
    struct Case {
        const char* name;
        QStringList arguments;
        int exitCode;
        QByteArray errors;
        QString auth; // stored afterwards
        QString tokenCommand;
        QString pass;
    };
    const Case cases[] = {
        {"alone, over the stored account",
         {"--auth", "XOAUTH2", "--token-command", "oauth-helper --account bob"},
         0,
         "",
         "xoauth2",
         "oauth-helper --account bob",
         "pw"},
        {"a token command stands in for the password",
         {"--address", "h", "--user", "u", "--auth", "oauthbearer", "--token-command", "t"},
         0,
         "",
         "oauthbearer",
         "t",
         ""},
        {"but not for a password method",
         {"--address", "h", "--user", "u", "--auth", "plain", "--token-command", "t"},
         2,
         "settings: --address, --user and --pass (or, with xoauth2 or oauthbearer, "
         "--token-command) are all needed\n",
         "",
         "",
         "pw"},
        {"unknown method",
         {"--auth", "cram-md5"},
         2,
         "settings: --auth must be password, plain, xoauth2 or oauthbearer, not cram-md5\n",
         "",
         "",
         "pw"},
        {"password is the store without the key", {"--auth", "password"}, 0, "", "", "", "pw"},
        {"line break in the token command",
         {"--auth", "xoauth2", "--token-command", "a\nrm -rf ~"},
         2,
         "settings: line breaks are not allowed in the address, user name, password or token "
         "command\n",
         "",
         "",
         "pw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        modGeneral::writeSettings({"h", "u", "pw"});
        const Outcome outcome = runSettings(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(outcome.errors, c.errors);
        const modGeneral::StoredSettings stored = modGeneral::readSettings();
        EXPECT_EQ(stored.auth, c.auth);
        EXPECT_EQ(stored.tokenCommand, c.tokenCommand);
        EXPECT_EQ(stored.pass, c.pass);
    }
    modGeneral::writeSettings(before);
}

TEST(SettingsSignIn, DialogOffersTheMethodsAndTakesATokenCommandForThePassword)
{
    modGeneral::StoredSettings oauth{"h", "u", ""};
    oauth.auth = "XOAUTH2";
    oauth.tokenCommand = "helper";
    SettingsDialog dialog(oauth, {}, {});
    auto* auth = dialog.findChild<QComboBox*>(QStringLiteral("auth"));
    auto* ok = dialog.findChildren<QPushButton*>().value(0);
    ASSERT_TRUE(auth && ok);
    QStringList offered;
    for (int i = 0; i < auth->count(); ++i) {
        offered.append(auth->itemData(i).toString());
    }
    EXPECT_EQ(offered, (QStringList{"", "plain", "xoauth2", "oauthbearer"}));
    EXPECT_EQ(dialog.settings().auth, "xoauth2");
    EXPECT_EQ(dialog.settings().tokenCommand, "helper");
    EXPECT_TRUE(dialog.settings().complete());
    auth->setCurrentIndex(1); // PLAIN needs the password the token command cannot give
    EXPECT_FALSE(dialog.settings().complete());
    EXPECT_EQ(SettingsDialog({"h", "u", "p"}, {}, {}).settings().auth, "");
}

TEST(SettingsSignIn, CheckSignsInCountsAndQuitsTouchingNoMail)
{
    const modGeneral::StoredSettings before = modGeneral::readSettings();
    const QString address = loopbackAddress(96);
    const QString login = QStringLiteral("S: +OK ready\nC: USER u\nS: +OK\nC: PASS pw\n");
    struct Case {
        const char* name;
        QString script;
        int exitCode;
        QByteArray output;
        QByteArray errors;
        QList<QByteArray> sent;
    };
    const Case cases[] = {
        {"signed in",
         login + "S: +OK\nC: STAT\nS: +OK 3 3000\nC: QUIT\nS: +OK bye\nX:",
         0,
         "Signed in to " + address.toLatin1() + ": 3 messages waiting\n",
         "",
         {"USER u", "PASS pw", "STAT", "QUIT"}},
        {"wrong password",
         login + "S: -ERR [AUTH] Authentication failed.\nH:",
         1,
         "",
         "Error received from PASS command: -ERR [AUTH] Authentication failed.\r\n\n",
         {"USER u", "PASS pw"}},
    };
    modGeneral::writeSettings({address, "u", "pw"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePop3Server server(address, 110);
        ASSERT_TRUE(server.isListening());
        server.script(c.script);
        const Outcome outcome = runSettings({"--check"});
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_EQ(outcome.errors, c.errors);
        EXPECT_EQ(server.received(), c.sent);
    }

    // The button checks what the dialog holds, before anything is stored.
    FakePop3Server server(address, 110);
    server.script(login + "S: +OK\nC: STAT\nS: +OK 0 0\nC: QUIT\nS: +OK bye\nX:");
    SettingsDialog dialog({address, "u", "pw", "none"}, {}, {});
    dialog.findChild<QPushButton*>(QStringLiteral("check"))->click();
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("checkResult"))->text(),
              "Signed in to " + address + ": 0 messages waiting");
    EXPECT_TRUE(dialog.isEnabled());
    modGeneral::writeSettings(before);
}

} // namespace
