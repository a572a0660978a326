#include "scanner/modgeneral.h"

#include "platform/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <initializer_list>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace modGeneral {
namespace {

const QString kOrganisation = QStringLiteral("Orsel");
const QString kApplication = QStringLiteral("Orsel");

using KeyValues = std::initializer_list<std::pair<QString, QString>>;

// Only our own file counts: a key missing there must not be taken from the organisation's or
// the system's file.
std::unique_ptr<QSettings> ownSettings()
{
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                kOrganisation, kApplication);
    settings->setFallbacksEnabled(false);
    return settings;
}

QString readKey(QSettings& settings, const Account& account, const QString& key)
{
    return settings.value(account.settingsGroup() + QLatin1Char('/') + key).toString();
}

// Stores `always` as given and `optional` only when not empty (an empty value removes its key,
// so a plain set of settings stays the keys it always was). The file is created private from
// the start: there is no moment in which others could read the password.
bool writeKeys(const Account& account, KeyValues always, KeyValues optional)
{
    const mode_t previousMask = ::umask(077);
    bool ok = false;
    {
        const std::unique_ptr<QSettings> settings = ownSettings();
        settings->beginGroup(account.settingsGroup());
        for (const auto& [key, value] : always) {
            settings->setValue(key, value);
        }
        for (const auto& [key, value] : optional) {
            if (value.isEmpty()) {
                settings->remove(key);
            } else {
                settings->setValue(key, value);
            }
        }
        settings->endGroup();
        settings->sync();
        ok = settings->status() == QSettings::NoError;
    }
    ::umask(previousMask);
    return ok;
}

} // namespace

StoredSettings readSettings(const Account& account)
{
    const std::unique_ptr<QSettings> settings = ownSettings();
    const auto key = [&](const char* name) {
        return readKey(*settings, account, QLatin1String(name));
    };
    // Read in this order: address, user, password.
    StoredSettings stored;
    stored.address = key("Address");
    stored.user = key("User");
    stored.pass = key("Pass");
    stored.security = key("Security");
    stored.securityEmpty =
        stored.security.isEmpty() &&
        settings->contains(account.settingsGroup() + QStringLiteral("/Security"));
    stored.caFile = key("CAFile");
    stored.fewerRoundTrips = key("FewerRoundTrips");
    stored.auth = key("Auth");
    stored.tokenCommand = key("TokenCommand");
    stored.passStore = key("PassStore");
    return stored;
}

EngineSettings readEngineSettings(const Account& account)
{
    const std::unique_ptr<QSettings> settings = ownSettings();
    const auto key = [&](const char* name) {
        return readKey(*settings, account, QLatin1String(name));
    };
    return {key("Decode"), key("ClamAV"), key("ClamAVMaxFileSize"), key("ClamAVMaxRecursion"),
            key("ClamAVMaxFiles")};
}

bool writeEngineSettings(const EngineSettings& stored, const Account& account)
{
    return writeKeys(account, {},
                     {{QStringLiteral("Decode"), stored.decode},
                      {QStringLiteral("ClamAV"), stored.clamAV},
                      {QStringLiteral("ClamAVMaxFileSize"), stored.clamAVMaxFileSize},
                      {QStringLiteral("ClamAVMaxRecursion"), stored.clamAVMaxRecursion},
                      {QStringLiteral("ClamAVMaxFiles"), stored.clamAVMaxFiles}});
}

bool writeFewerRoundTrips(const QString& value, const Account& account)
{
    return writeKeys(account, {}, {{QStringLiteral("FewerRoundTrips"), value}});
}

QString settingsFileProblem()
{
    const QString path = settingsFilePath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        return {};
    }
    QString reason;
    const int fd = platform::openRegularFile(QFile::encodeName(path), &reason);
    if (fd < 0) {
        return platform::cannotRead(QStringLiteral("settings file"), path, reason);
    }
    ::close(fd);
    return {};
}

QString settingsFileWarning()
{
    const QString path = settingsFilePath();
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 ||
        (info.st_mode & (S_IRGRP | S_IROTH)) == 0) {
        return {};
    }
    return QStringLiteral("warning: %1 holds the password and others may read it; chmod 600 %1 "
                          "makes it yours alone")
        .arg(path);
}

QString settingsFilePath()
{
    // Where QSettings keeps it, worked out without QSettings: making one reads the file, and a
    // FIFO there would hang before settingsFileProblem() could tell.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + kOrganisation + QLatin1Char('/') + kApplication +
           QStringLiteral(".conf");
}

bool writeSettings(const StoredSettings& stored, const Account& account)
{
    // A password kept in the keyring leaves no trace here: the empty value removes "Pass".
    const bool ok = writeKeys(
        account,
        {{QStringLiteral("Address"), stored.address}, {QStringLiteral("User"), stored.user}},
        {{QStringLiteral("Pass"), stored.passInFile() ? stored.pass : QString()},
         {QStringLiteral("Security"), stored.security},
         {QStringLiteral("CAFile"), stored.caFile},
         {QStringLiteral("FewerRoundTrips"), stored.fewerRoundTrips},
         {QStringLiteral("Auth"), stored.auth},
         {QStringLiteral("TokenCommand"), stored.tokenCommand},
         {QStringLiteral("PassStore"), stored.passStore}});
    // An older file keeps its mode when rewritten; narrow it as well.
    QFile::setPermissions(settingsFilePath(), QFile::ReadOwner | QFile::WriteOwner);
    return ok;
}

} // namespace modGeneral
