// The class registry in an INI file.
#include "platform/automation/classregistry.h"

#include "platform/automation/guid.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <memory>

namespace automation {

namespace {

// Sections: [Classes] "GUID\Name" etc., [ProgIDs] "progid\Class", [TypeLibraries] "GUID\Name".
// GUIDs are stored without braces: QSettings would percent-escape them in keys.
const QString classesGroup = QStringLiteral("Classes");
const QString progIdsGroup = QStringLiteral("ProgIDs");
const QString typeLibrariesGroup = QStringLiteral("TypeLibraries");

QString guidKey(QByteArrayView guid)
{
    const QByteArray canonical = normalizedGuid(guid);
    return QString::fromLatin1(canonical.mid(1, canonical.size() - 2));
}

// ProgIDs are "Program.Component[.Version]": no key separators or spaces that QSettings mangles.
bool isProgId(QByteArrayView progId)
{
    if (progId.isEmpty() || progId.size() > 39)
        return false;
    for (char c : progId) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

QString progIdKey(QByteArrayView progId)
{
    return QString::fromLatin1(progId).toLower();
}

std::unique_ptr<QSettings> open(const QString& path)
{
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

bool saved(QSettings& settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QByteArray bytes(const QSettings& settings, const QString& key)
{
    return settings.value(key).toString().toLatin1();
}

} // namespace

QString ClassRegistry::userFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Vorlane/classes.ini");
}

QString ClassRegistry::filePath() const
{
    return m_filePath.isEmpty() ? userFilePath() : m_filePath;
}

bool ClassRegistry::registerClass(const ClassRegistration& registration)
{
    if (normalizedGuid(registration.guid).isEmpty() ||
        !QFileInfo(registration.libraryPath).isAbsolute())
        return false;
    const auto settings = open(filePath());
    settings->beginGroup(classesGroup + QLatin1Char('/') + guidKey(registration.guid));
    settings->remove(QString());
    settings->setValue("Name", QString::fromLatin1(registration.name));
    settings->setValue("Library", registration.libraryPath);
    settings->setValue("ThreadingModel", QString::fromLatin1(registration.threadingModel));
    settings->endGroup();
    return saved(*settings);
}

bool ClassRegistry::unregisterClass(QByteArrayView guid)
{
    if (normalizedGuid(guid).isEmpty())
        return false;
    return removeGroup(classesGroup + QLatin1Char('/') + guidKey(guid));
}

bool ClassRegistry::registerProgId(QByteArrayView progId, QByteArrayView classGuid)
{
    const QByteArray guid = normalizedGuid(classGuid);
    if (!isProgId(progId) || guid.isEmpty())
        return false;
    const auto settings = open(filePath());
    settings->beginGroup(progIdsGroup + QLatin1Char('/') + progIdKey(progId));
    settings->setValue("Name", QString::fromLatin1(progId));
    settings->setValue("Class", QString::fromLatin1(guid));
    settings->endGroup();
    return saved(*settings);
}

bool ClassRegistry::unregisterProgId(QByteArrayView progId)
{
    if (!isProgId(progId))
        return false;
    return removeGroup(progIdsGroup + QLatin1Char('/') + progIdKey(progId));
}

bool ClassRegistry::registerTypeLibrary(const TypeLibraryRegistration& registration)
{
    if (normalizedGuid(registration.guid).isEmpty() || !QFileInfo(registration.path).isAbsolute())
        return false;
    const auto settings = open(filePath());
    settings->beginGroup(typeLibrariesGroup + QLatin1Char('/') + guidKey(registration.guid));
    settings->setValue("Name", QString::fromLatin1(registration.name));
    settings->setValue("Version",
                       QStringLiteral("%1.%2").arg(registration.major).arg(registration.minor));
    settings->setValue("Path", registration.path);
    settings->endGroup();
    return saved(*settings);
}

bool ClassRegistry::unregisterTypeLibrary(QByteArrayView guid)
{
    if (normalizedGuid(guid).isEmpty())
        return false;
    return removeGroup(typeLibrariesGroup + QLatin1Char('/') + guidKey(guid));
}

std::optional<QByteArray> ClassRegistry::classOfProgId(QByteArrayView progId) const
{
    if (!isProgId(progId))
        return std::nullopt;
    const auto settings = open(filePath());
    const QByteArray guid =
        normalizedGuid(bytes(*settings, progIdsGroup + '/' + progIdKey(progId) + "/Class"));
    return guid.isEmpty() ? std::nullopt : std::optional(guid);
}

std::optional<ClassRegistration> ClassRegistry::findClass(QByteArrayView guid) const
{
    if (normalizedGuid(guid).isEmpty())
        return std::nullopt;
    const auto settings = open(filePath());
    settings->beginGroup(classesGroup + QLatin1Char('/') + guidKey(guid));
    if (!settings->contains("Library"))
        return std::nullopt;
    return ClassRegistration{normalizedGuid(guid), bytes(*settings, "Name"),
                             settings->value("Library").toString(),
                             bytes(*settings, "ThreadingModel")};
}

std::optional<QString> ClassRegistry::libraryOfClass(QByteArrayView guid) const
{
    const std::optional<ClassRegistration> registration = findClass(guid);
    return registration ? std::optional(registration->libraryPath) : std::nullopt;
}

std::optional<TypeLibraryRegistration> ClassRegistry::findTypeLibrary(QByteArrayView guid) const
{
    if (normalizedGuid(guid).isEmpty())
        return std::nullopt;
    const auto settings = open(filePath());
    settings->beginGroup(typeLibrariesGroup + QLatin1Char('/') + guidKey(guid));
    if (!settings->contains("Path"))
        return std::nullopt;
    const QStringList version = settings->value("Version").toString().split(QLatin1Char('.'));
    return TypeLibraryRegistration{normalizedGuid(guid), version.value(0).toInt(),
                                   version.value(1).toInt(), settings->value("Path").toString(),
                                   bytes(*settings, "Name")};
}

bool ClassRegistry::removeGroup(const QString& group)
{
    const auto settings = open(filePath());
    settings->remove(group);
    return saved(*settings);
}

} // namespace automation
