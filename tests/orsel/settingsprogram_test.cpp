// The settings program's part in the decoded check and ClamAV: what new settings get, what the
// dialog offers, and the command line.
#include "scanner/modgeneral.h"
#include "settings/settingsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
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

int runSettings(const QStringList& arguments, QByteArray* errors = nullptr)
{
    QProcess settings;
    settings.start(QStringLiteral(SETTINGS_PATH), arguments);
    if (!settings.waitForFinished(30000)) {
        settings.kill();
        settings.waitForFinished();
        return -1;
    }
    if (errors) {
        *errors = settings.readAllStandardError();
    }
    return settings.exitCode();
}

// The dialog, the command line and its refusal name the same three modes.
TEST(SettingsProgram, SecurityModesAndTheirPorts)
{
    SettingsDialog dialog({}, {}, {});
    const auto* security = dialog.findChild<QComboBox*>(QStringLiteral("security"));
    ASSERT_TRUE(security);
    QStringList offered;
    for (int i = 0; i < security->count(); ++i) {
        offered.append(security->itemText(i) + " = " + security->itemData(i).toString());
    }
    EXPECT_EQ(offered, (QStringList{"TLS (port 995) = tls", "STLS (port 110) = starttls",
                                    "None (port 110, password in clear) = none"}));
    EXPECT_EQ(security->currentData().toString(), "tls"); // new settings

    const modGeneral::StoredSettings before = modGeneral::readSettings();
    const QStringList account = {"--address", "h", "--user", "u", "--pass", "p", "--security"};
    QByteArray errors;
    EXPECT_EQ(runSettings(account + QStringList{"STARTTLS"}, &errors), 2);
    EXPECT_EQ(errors, "settings: --security must be none, starttls or tls, not STARTTLS\n");
    ASSERT_EQ(runSettings(account + QStringList{"starttls"}), 0);
    EXPECT_EQ(modGeneral::readSettings().security, "starttls");
    modGeneral::writeSettings(before);
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

// New settings save round trips; settings stored before keep the classic session until told.
TEST(SettingsProgram, FewerRoundTripsForNewSettingsAndOnTheCommandLine)
{
    const modGeneral::StoredSettings before = modGeneral::readSettings();
    const QStringList account = {"--address", "h", "--user", "u", "--pass", "p"};
    QFile::remove(modGeneral::settingsFilePath());
    ASSERT_EQ(runSettings(account), 0);
    EXPECT_EQ(modGeneral::readSettings().fewerRoundTrips, "1");
    ASSERT_EQ(runSettings({"--fewer-round-trips", "0"}), 0);
    EXPECT_EQ(modGeneral::readSettings().fewerRoundTrips, "0");
    ASSERT_EQ(runSettings(account), 0); // kept when not given
    EXPECT_EQ(modGeneral::readSettings().fewerRoundTrips, "0");
    QByteArray errors;
    EXPECT_EQ(runSettings({"--fewer-round-trips", "yes"}, &errors), 2);
    EXPECT_EQ(errors, "settings: --fewer-round-trips takes 0 or 1\n");

    modGeneral::writeSettings({"h", "u", "p"}); // from before the key
    ASSERT_EQ(runSettings(account), 0);
    EXPECT_EQ(modGeneral::readSettings().fewerRoundTrips, "");
    ASSERT_EQ(runSettings(account + QStringList{"--fewer-round-trips", "1"}), 0);
    EXPECT_EQ(modGeneral::readSettings().fewerRoundTrips, "1");
    modGeneral::writeSettings(before);

    const auto box = [](const SettingsDialog& dialog) {
        return dialog.findChild<QCheckBox*>(QStringLiteral("fewerRoundTrips"))->isChecked();
    };
    modGeneral::StoredSettings off{"h", "u", "p"};
    off.fewerRoundTrips = "0";
    EXPECT_TRUE(box(SettingsDialog({}, {}, {})));
    EXPECT_FALSE(box(SettingsDialog({"h", "u", "p"}, {}, {})));
    EXPECT_FALSE(box(SettingsDialog(off, {}, {})));
    EXPECT_EQ(SettingsDialog({}, {}, {}).settings().fewerRoundTrips, "1");
    EXPECT_EQ(SettingsDialog(off, {}, {}).settings().fewerRoundTrips, "0");
}

} // namespace
