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
const QString kGroup = QStringLiteral("Settings");

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

QString readKey(QSettings& settings, const QString& key)
{
    return settings.value(kGroup + QLatin1Char('/') + key).toString();
}

// Stores `always` as given and `optional` only when not empty (an empty value removes its key,
// so a plain set of settings stays the keys it always was). The file is created private from
// the start: there is no moment in which others could read the password.
bool writeKeys(KeyValues always, KeyValues optional)
{
    const mode_t previousMask = ::umask(077);
    bool ok = false;
    {
        const std::unique_ptr<QSettings> settings = ownSettings();
        settings->beginGroup(kGroup);
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

StoredSettings readSettings()
{
    const std::unique_ptr<QSettings> settings = ownSettings();
    // Read in this order: address, user, password.
    StoredSettings stored;
    stored.address = readKey(*settings, QStringLiteral("Address"));
    stored.user = readKey(*settings, QStringLiteral("User"));
    stored.pass = readKey(*settings, QStringLiteral("Pass"));
    stored.security = readKey(*settings, QStringLiteral("Security"));
    stored.securityEmpty =
        stored.security.isEmpty() && settings->contains(kGroup + QStringLiteral("/Security"));
    stored.caFile = readKey(*settings, QStringLiteral("CAFile"));
    stored.fewerRoundTrips = readKey(*settings, QStringLiteral("FewerRoundTrips"));
    stored.auth = readKey(*settings, QStringLiteral("Auth"));
    stored.tokenCommand = readKey(*settings, QStringLiteral("TokenCommand"));
    return stored;
}

EngineSettings readEngineSettings()
{
    const std::unique_ptr<QSettings> settings = ownSettings();
    return {readKey(*settings, QStringLiteral("Decode")),
            readKey(*settings, QStringLiteral("ClamAV")),
            readKey(*settings, QStringLiteral("ClamAVMaxFileSize")),
            readKey(*settings, QStringLiteral("ClamAVMaxRecursion")),
            readKey(*settings, QStringLiteral("ClamAVMaxFiles"))};
}

bool writeEngineSettings(const EngineSettings& stored)
{
    return writeKeys({}, {{QStringLiteral("Decode"), stored.decode},
                          {QStringLiteral("ClamAV"), stored.clamAV},
                          {QStringLiteral("ClamAVMaxFileSize"), stored.clamAVMaxFileSize},
                          {QStringLiteral("ClamAVMaxRecursion"), stored.clamAVMaxRecursion},
                          {QStringLiteral("ClamAVMaxFiles"), stored.clamAVMaxFiles}});
}

bool writeFewerRoundTrips(const QString& value)
{
    return writeKeys({}, {{QStringLiteral("FewerRoundTrips"), value}});
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

bool writeSettings(const StoredSettings& stored)
{
    const bool ok = writeKeys({{QStringLiteral("Address"), stored.address},
                               {QStringLiteral("User"), stored.user},
                               {QStringLiteral("Pass"), stored.pass}},
                              {{QStringLiteral("Security"), stored.security},
                               {QStringLiteral("CAFile"), stored.caFile},
                               {QStringLiteral("FewerRoundTrips"), stored.fewerRoundTrips},
                               {QStringLiteral("Auth"), stored.auth},
                               {QStringLiteral("TokenCommand"), stored.tokenCommand}});
    // An older file keeps its mode when rewritten; narrow it as well.
    QFile::setPermissions(settingsFilePath(), QFile::ReadOwner | QFile::WriteOwner);
    return ok;
}

} // namespace modGeneral
