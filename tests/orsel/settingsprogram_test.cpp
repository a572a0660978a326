// The settings program's part in the decoded check and ClamAV: what new settings get, what the
// dialog offers, and the command line.
#include "scanner/modgeneral.h"
#include "settings/settingsdialog.h"

#include <QCheckBox>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(SettingsProgram, DialogDecodesNewSettingsAndOffersClamAvOnlyWithADatabase)
{
    struct Case {
        const char* name;
        modGeneral::EngineSettings stored;
        QString offered; // the folder where ClamAV found signatures, or empty
        bool clamAvShown;
        modGeneral::EngineSettings accepted; // what OK stores without a change
    };
    const std::vector<Case> cases = {
        {"new settings, no database", {}, {}, false, {"1", {}}},
        {"new settings, a database", {}, "/var/lib/clamav", true, {"1", {}}},
        {"decoding turned off stays off", {"0", {}}, {}, false, {"0", {}}},
        {"a stored folder stays, offered or not", {"1", "/srv/sigs"}, {}, true, {"1", "/srv/sigs"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsDialog dialog({"h", "u", "p"}, c.stored, c.offered);
        auto* clamAv = dialog.findChild<QCheckBox*>(QStringLiteral("clamav"));
        ASSERT_TRUE(clamAv);
        EXPECT_EQ(clamAv->isVisibleTo(&dialog), c.clamAvShown);
        EXPECT_EQ(dialog.engineSettings().decode, c.accepted.decode);
        EXPECT_EQ(dialog.engineSettings().clamAV, c.accepted.clamAV);
    }
    SettingsDialog offered({"h", "u", "p"}, {}, QStringLiteral("/var/lib/clamav"));
    offered.findChild<QCheckBox*>(QStringLiteral("clamav"))->setChecked(true);
    offered.findChild<QCheckBox*>(QStringLiteral("decode"))->setChecked(false);
    EXPECT_EQ(offered.engineSettings().clamAV, "default");
    EXPECT_EQ(offered.engineSettings().decode, "0");
}

int runSettings(const QStringList& arguments)
{
    QProcess settings;
    settings.start(QStringLiteral(SETTINGS_PATH), arguments);
    if (!settings.waitForFinished(30000)) {
        settings.kill();
        settings.waitForFinished();
        return -1;
    }
    return settings.exitCode();
}

TEST(SettingsProgram, CommandLineStoresTheEngineKeys)
{
    modGeneral::writeEngineSettings({});
    const QStringList account = {"--address", "h", "--user", "u", "--pass", "p"};
    ASSERT_EQ(runSettings(account), 0);
    EXPECT_EQ(modGeneral::readEngineSettings().decode, "1"); // new settings decode
    EXPECT_EQ(modGeneral::readEngineSettings().clamAV, "");
    ASSERT_EQ(runSettings({"--decode", "0", "--clamav", "default"}), 0);
    EXPECT_EQ(modGeneral::readEngineSettings().decode, "0");
    EXPECT_EQ(modGeneral::readEngineSettings().clamAV, "default");
    ASSERT_EQ(runSettings(account), 0); // storing the account again keeps both
    EXPECT_EQ(modGeneral::readEngineSettings().decode, "0");
    ASSERT_EQ(runSettings({"--clamav", "off"}), 0);
    EXPECT_EQ(modGeneral::readEngineSettings().clamAV, "");
    EXPECT_EQ(runSettings({"--decode", "yes"}), 2);
    EXPECT_EQ(modGeneral::readSettings().address, "h");
    modGeneral::writeEngineSettings({});
}

} // namespace
