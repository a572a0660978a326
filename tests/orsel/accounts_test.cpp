// Several accounts: which names are taken, and that each keeps its keys in a group and its saved
// messages in a folder of its own while the default account stays where it always was.
#include "scanner/account.h"
#include "scanner/modgeneral.h"
#include "scanner/writablehome.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(Accounts, NamesThatSurviveTheSettingsFileAFolderAndAShellAreTaken)
{
    const struct {
        const char* name;
        const char* refusal;   // "" for a name that is taken
        const char* arguments; // commandLineArguments()
    } cases[] = {
        {"work", "", "--account work "},
        {"Private mail", "", "--account 'Private mail' "},
        {"Ann's=%;#[x", "", "--account 'Ann'\\''s=%;#[x' "},
        {"Überweisung", "", "--account 'Überweisung' "},
        {"a.b-c_d@e", "", "--account a.b-c_d@e "},
        {"", "an account name cannot be empty", ""},
        {"a/b", "an account name cannot hold \"/\", \"\\\", \"]\" or control characters", ""},
        {"a\\b", "an account name cannot hold \"/\", \"\\\", \"]\" or control characters", ""},
        {"a]b", "an account name cannot hold \"/\", \"\\\", \"]\" or control characters", ""},
        {"a\tb", "an account name cannot hold \"/\", \"\\\", \"]\" or control characters", ""},
        {"a\x7f", "an account name cannot hold \"/\", \"\\\", \"]\" or control characters", ""},
        {" work", "an account name cannot begin or end with a blank", ""},
        {"work ", "an account name cannot begin or end with a blank", ""},
        {"..", "an account name cannot be \".\" or \"..\"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString why;
        const std::optional<Account> account = Account::named(QString::fromUtf8(c.name), &why);
        EXPECT_EQ(why.toStdString(), c.refusal);
        if (!account) {
            EXPECT_STRNE(c.refusal, "");
            continue;
        }
        EXPECT_EQ(account->commandLineArguments().toStdString(), c.arguments);
        // Its keys come back as written, beside the default account's, which stay as they were.
        modGeneral::writeSettings(
            {QStringLiteral("default.example"), QStringLiteral("me"), QStringLiteral("pw")});
        ASSERT_TRUE(modGeneral::writeSettings(
            {QStringLiteral("h"), QString::fromUtf8(c.name), QStringLiteral("p")}, *account));
        EXPECT_EQ(modGeneral::readSettings(*account).user, QString::fromUtf8(c.name));
        EXPECT_EQ(modGeneral::readSettings().address, "default.example");
    }
    QString why;
    EXPECT_FALSE(Account::named(QString(Account::kMaximumNameLength + 1, QLatin1Char('x')), &why));
    EXPECT_TRUE(Account::named(QString(Account::kMaximumNameLength, QLatin1Char('x')), &why));
}

TEST(Accounts, DefaultAccountKeepsItsGroupAndFolder)
{
    const Account standard;
    EXPECT_EQ(standard.settingsGroup(), "Settings");
    EXPECT_EQ(standard.savedFilesSubfolder(), "");
    EXPECT_EQ(standard.commandLineArguments(), "");
    QString why;
    const Account work = *Account::named(QStringLiteral("work"), &why);
    EXPECT_EQ(work.settingsGroup(), "Account work");
    EXPECT_EQ(work.displayName(), "work");

    QTemporaryDir program;
    const ScanPlaces same = scanPlacesFor(ProgramFolder(program.path()), standard);
    EXPECT_EQ(same.messageFolder.displayPath(), program.path());
    const ScanPlaces own = scanPlacesFor(ProgramFolder(program.path()), work);
    EXPECT_EQ(own.messageFolder.displayPath(), program.path() + "/accounts/work");
    EXPECT_EQ(own.definitionFolder.displayPath(), program.path()); // one def.dat for all
    EXPECT_EQ(QFileInfo(own.messageFolder.displayPath()).permissions() & 0x0077,
              QFile::Permissions());
}

// The password in the keyring leaves only "PassStore" in the file; a stored "Pass" stays as it
// was for settings that never named a store.
TEST(Accounts, PasswordInTheKeyringLeavesNoPassInTheFile)
{
    modGeneral::StoredSettings stored{QStringLiteral("h"), QStringLiteral("u"),
                                      QStringLiteral("secret")};
    ASSERT_TRUE(modGeneral::writeSettings(stored));
    EXPECT_TRUE(modGeneral::readSettings().passInFile());
    EXPECT_EQ(modGeneral::readSettings().pass, "secret");
    stored.passStore = modGeneral::kPassStoreKeyring;
    ASSERT_TRUE(modGeneral::writeSettings(stored));
    const modGeneral::StoredSettings read = modGeneral::readSettings();
    EXPECT_EQ(read.pass, "");
    EXPECT_EQ(read.passStore, "keyring");
    EXPECT_TRUE(read.complete()); // the settings program is not started for it
    QFile file(modGeneral::settingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("secret"));
}

// The settings program's --account and --pass-store, with no keyring to be had (the tests' bus
// leads nowhere): a refused name or store writes nothing, and a password asked for in the
// keyring never falls back to the file.
TEST(Accounts, SettingsProgramTakesAccountAndPassStore)
{
    const auto run = [](const QStringList& arguments, QByteArray* errors) {
        QProcess settings;
        settings.start(QStringLiteral(SETTINGS_PATH), arguments);
        settings.waitForFinished(30000);
        *errors = settings.readAllStandardError();
        return settings.exitStatus() == QProcess::NormalExit ? settings.exitCode() : -1;
    };
    const QStringList box = {"--address", "h", "--user", "u", "--pass", "p2"};
    const struct {
        const char* name;
        QStringList arguments;
        int status;
        const char* error;       // a part of what it said on standard error
        const char* workPass;    // "Pass" of the account "work" afterwards
        const char* defaultPass; // "Pass" of the default account afterwards
    } cases[] = {
        {"a named account", QStringList{"--account", "work"} + box, 0, "", "p2", "p1"},
        {"a name that is refused", QStringList{"--account", "a/b"} + box, 2,
         "an account name cannot hold", "p2", "p1"},
        {"a store that is unknown", QStringList{"--pass-store", "wallet"} + box, 2,
         "--pass-store takes keyring or file", "p2", "p1"},
        {"the keyring, when none answers",
         QStringList{"--account", "work", "--pass-store", "keyring", "--address", "h", "--user",
                     "u", "--pass", "p3"},
         1, "the password could not be stored in the keyring: there is no session bus", "p2", "p1"},
        {"the file, by default without a keyring", box, 0, "", "p2", "p2"},
        {"the file, named",
         QStringList{"--account", "work", "--pass-store", "file", "--address", "h", "--user", "u",
                     "--pass", "p4"},
         0, "", "p4", "p2"},
    };
    QString why;
    const Account work = *Account::named(QStringLiteral("work"), &why);
    modGeneral::writeSettings({QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p1")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray errors;
        EXPECT_EQ(run(c.arguments, &errors), c.status);
        EXPECT_TRUE(errors.contains(c.error)) << errors.constData();
        EXPECT_EQ(modGeneral::readSettings(work).pass.toStdString(), c.workPass);
        EXPECT_EQ(modGeneral::readSettings(work).passStore, "");
        EXPECT_EQ(modGeneral::readSettings().pass.toStdString(), c.defaultPass);
    }
}

} // namespace
