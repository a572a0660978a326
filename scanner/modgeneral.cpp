#include "scanner/modgeneral.h"

#include <QFile>
#include <QSettings>
#include <sys/stat.h>

namespace modGeneral {
namespace {

const QString kOrganisation = QStringLiteral("Orsel");
const QString kApplication = QStringLiteral("Orsel");
const QString kGroup = QStringLiteral("Settings");

QString readKey(QSettings& settings, const QString& key)
{
    return settings.value(kGroup + QLatin1Char('/') + key).toString();
}

} // namespace

StoredSettings readSettings()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    // Only our own file counts: a key missing there must not be taken from the organisation's
    // or the system's file.
    settings.setFallbacksEnabled(false);
    // Read in this order: address, user, password.
    StoredSettings stored;
    stored.address = readKey(settings, QStringLiteral("Address"));
    stored.user = readKey(settings, QStringLiteral("User"));
    stored.pass = readKey(settings, QStringLiteral("Pass"));
    stored.security = readKey(settings, QStringLiteral("Security"));
    stored.caFile = readKey(settings, QStringLiteral("CAFile"));
    return stored;
}

EngineSettings readEngineSettings()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    return {readKey(settings, QStringLiteral("Decode")),
            readKey(settings, QStringLiteral("ClamAV"))};
}

bool writeEngineSettings(const EngineSettings& stored)
{
    const mode_t previousMask = ::umask(077); // the file holds the password as well
    bool ok = false;
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                           kApplication);
        settings.beginGroup(kGroup);
        for (const auto& [key, value] : {std::pair{QStringLiteral("Decode"), stored.decode},
                                         std::pair{QStringLiteral("ClamAV"), stored.clamAV}}) {
            if (value.isEmpty()) {
                settings.remove(key);
            } else {
                settings.setValue(key, value);
            }
        }
        settings.endGroup();
        settings.sync();
        ok = settings.status() == QSettings::NoError;
    }
    ::umask(previousMask);
    return ok;
}

QString settingsFilePath()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication)
        .fileName();
}

bool writeSettings(const StoredSettings& stored)
{
    // Created private from the start: no moment in which others could read the password.
    const mode_t previousMask = ::umask(077);
    bool ok = false;
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                           kApplication);
        settings.beginGroup(kGroup);
        settings.setValue(QStringLiteral("Address"), stored.address);
        settings.setValue(QStringLiteral("User"), stored.user);
        settings.setValue(QStringLiteral("Pass"), stored.pass);
        // Left out when empty, so a plain set of settings stays the three keys it always was.
        const std::pair<QString, QString> optional[] = {
            {QStringLiteral("Security"), stored.security},
            {QStringLiteral("CAFile"), stored.caFile}};
        for (const auto& [key, value] : optional) {
            if (value.isEmpty()) {
                settings.remove(key);
            } else {
                settings.setValue(key, value);
            }
        }
        settings.endGroup();
        settings.sync();
        ok = settings.status() == QSettings::NoError;
    }
    ::umask(previousMask);
    // An older file keeps its mode when rewritten; narrow it as well.
    QFile::setPermissions(settingsFilePath(), QFile::ReadOwner | QFile::WriteOwner);
    return ok;
}

} // namespace modGeneral
