// The settings program's connection security: fresh settings start with TLS, settings stored
// before keep their plain connection, an unknown mode is refused and changes nothing.
#include "scanner/modgeneral.h"
#include "settings/settingsdialog.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

int runSettings(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(SETTINGS_PATH), arguments);
    process.waitForFinished(30000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

const QStringList kLogin = {QStringLiteral("--address"), QStringLiteral("pop.example.com"),
                            QStringLiteral("--user"),    QStringLiteral("me"),
                            QStringLiteral("--pass"),    QStringLiteral("pw")};

} // namespace

TEST(SettingsProgram, CommandLineStoresTheSecurityChoice)
{
    struct Step {
        bool startFresh;
        QStringList options;
        int exitCode;
        const char* security; // stored afterwards
        const char* caFile;
    };
    const Step steps[] = {
        {true, {}, 0, "tls", ""},
        {false,
         {"--security", "starttls", "--ca-file", "/etc/private-ca.pem"},
         0,
         "starttls",
         "/etc/private-ca.pem"},
        {false, {}, 0, "starttls", "/etc/private-ca.pem"}, // kept when not given
        {false, {"--security", "ssl"}, 2, "starttls", "/etc/private-ca.pem"},
        {false, {"--security", "none", "--ca-file", ""}, 0, "none", ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.options.join(' ').toStdString());
        if (step.startFresh) {
            QFile::remove(modGeneral::settingsFilePath());
        }
        EXPECT_EQ(runSettings(kLogin + step.options), step.exitCode);
        const modGeneral::StoredSettings stored = modGeneral::readSettings();
        EXPECT_EQ(stored.security, QString::fromLatin1(step.security));
        EXPECT_EQ(stored.caFile, QString::fromLatin1(step.caFile));
        EXPECT_EQ(stored.address, "pop.example.com");
    }
    // Settings from before secure connections keep their plain connection.
    QFile::remove(modGeneral::settingsFilePath());
    modGeneral::writeSettings({QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p")});
    EXPECT_EQ(runSettings(kLogin), 0);
    EXPECT_EQ(modGeneral::readSettings().security, QStringLiteral("none"));
}

TEST(SettingsProgram, DialogOffersTlsForNewSettingsAndKeepsStoredOnes)
{
    const SettingsDialog fresh(modGeneral::StoredSettings{}, {}, {});
    EXPECT_EQ(fresh.findChild<QComboBox*>(QStringLiteral("security"))->currentData(), "tls");
    EXPECT_EQ(fresh.settings().security, "tls");
    const SettingsDialog plain(
        modGeneral::StoredSettings{QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p")},
        {}, {});
    EXPECT_EQ(plain.settings().security, "none");
    const SettingsDialog secured(
        modGeneral::StoredSettings{QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p"),
                                   QStringLiteral("starttls"), QStringLiteral("/ca.pem")},
        {}, {});
    EXPECT_EQ(secured.settings().security, "starttls");
    EXPECT_EQ(secured.findChild<QLineEdit*>(QStringLiteral("caFile"))->text(), "/ca.pem");
}
