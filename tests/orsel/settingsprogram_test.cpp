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

TEST(SettingsProgram, DialogDecodesNewSettingsAndOffersClamAvWhereItCanWork)
{
    const QString signatures = QStringLiteral("Signatures in %1, loaded by every scan = %2");
    struct Case {
        const char* name;
        modGeneral::EngineSettings stored;
        QString folder;      // where ClamAV found signatures, or empty
        QString daemon;      // the socket of a daemon that answered PING, or empty
        QStringList offered; // "text = value" of each choice; none when the choice is hidden
        modGeneral::EngineSettings accepted; // what OK stores without a change
    };
    const std::vector<Case> cases = {
        {"new settings, no database, no daemon", {}, {}, {}, {}, {"1", {}}},
        {"new settings, a database",
         {},
         "/var/lib/clamav",
         {},
         {"Off = ", signatures.arg("/var/lib/clamav", "default")},
         {"1", {}}},
        {"new settings, a daemon and a database",
         {},
         "/var/lib/clamav",
         "/run/clamav/clamd.ctl",
         {"Off = ", "ClamAV daemon (/run/clamav/clamd.ctl) = clamd",
          signatures.arg("/var/lib/clamav", "default")},
         {"1", {}}},
        {"decoding turned off stays off", {"0", {}}, {}, {}, {}, {"0", {}}},
        {"a stored folder stays, offered or not",
         {"1", "/srv/sigs"},
         {},
         {},
         {"Off = ", signatures.arg("/srv/sigs", "/srv/sigs")},
         {"1", "/srv/sigs"}},
        {"a stored daemon and the limits stay",
         {"1", "clamd:/srv/clamd.sock", "500", "20", "20000"},
         {},
         "/run/clamav/clamd.ctl",
         {"Off = ", "ClamAV daemon (/srv/clamd.sock) = clamd:/srv/clamd.sock"},
         {"1", "clamd:/srv/clamd.sock", "500", "20", "20000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsDialog dialog({"h", "u", "p"}, c.stored, c.folder, c.daemon);
        auto* clamAv = dialog.findChild<QComboBox*>(QStringLiteral("clamav"));
        ASSERT_TRUE(clamAv);
        QStringList offered;
        for (int i = 0; clamAv->isVisibleTo(&dialog) && i < clamAv->count(); ++i) {
            offered.append(clamAv->itemText(i) + " = " + clamAv->itemData(i).toString());
        }
        EXPECT_EQ(offered, c.offered);
        const modGeneral::EngineSettings accepted = dialog.engineSettings();
        EXPECT_EQ(accepted.decode, c.accepted.decode);
        EXPECT_EQ(accepted.clamAV, c.accepted.clamAV);
        EXPECT_EQ(accepted.clamAVMaxFileSize, c.accepted.clamAVMaxFileSize);
        EXPECT_EQ(accepted.clamAVMaxRecursion, c.accepted.clamAVMaxRecursion);
        EXPECT_EQ(accepted.clamAVMaxFiles, c.accepted.clamAVMaxFiles);
    }
    SettingsDialog offered({"h", "u", "p"}, {}, QStringLiteral("/var/lib/clamav"),
                           QStringLiteral("/run/clamav/clamd.ctl"));
    offered.findChild<QComboBox*>(QStringLiteral("clamav"))->setCurrentIndex(1);
    offered.findChild<QCheckBox*>(QStringLiteral("decode"))->setChecked(false);
    EXPECT_EQ(offered.engineSettings().clamAV, "clamd");
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
    ASSERT_EQ(runSettings({"--clamav", "clamd:/srv/clamd.sock"}), 0);
    EXPECT_EQ(modGeneral::readEngineSettings().clamAV, "clamd:/srv/clamd.sock");
    EXPECT_EQ(runSettings({"--clamav", "clamd:"}), 2); // a daemon needs its socket
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
