// The class registry in an INI file.
#include "platform/automation/classregistry.h"

#include "platform/automation/guid.h"

#include <QDir>
#include <QFile>
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

const QString registryFileName = QStringLiteral("/Vorlane/classes.ini");

void report(QByteArray* corrupt, const QString& path, const QByteArray& what)
{
    if (corrupt)
        *corrupt = "the class registry \"" + QFile::encodeName(path) + "\" is corrupt: " + what;
}

} // namespace

QString ClassRegistry::userFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + registryFileName;
}

QStringList ClassRegistry::systemFilePaths()
{
    QStringList paths;
    for (const QString& dir :
         qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        // Relative entries are invalid by the base-directory rules and are ignored.
        if (QDir::isAbsolutePath(dir))
            paths << dir + registryFileName;
    }
    if (paths.isEmpty())
        paths << QStringLiteral("/etc/xdg") + registryFileName;
    return paths;
}

ClassRegistry ClassRegistry::system()
{
    return ClassRegistry(Scope::System);
}

ClassRegistry ClassRegistry::forRegistration()
{
    return qEnvironmentVariable(scopeVariable) == QLatin1String("system") ? system()
                                                                          : ClassRegistry();
}

QString ClassRegistry::filePath() const
{
    switch (m_scope) {
    case Scope::User:
        return userFilePath();
    case Scope::System:
        return systemFilePaths().constFirst();
    case Scope::File:
        break;
    }
    return m_filePath;
}

QStringList ClassRegistry::lookupFiles() const
{
    switch (m_scope) {
    case Scope::User:
        return QStringList{userFilePath()} + systemFilePaths();
    case Scope::System:
        return systemFilePaths();
    case Scope::File:
        break;
    }
    return {m_filePath};
}

QString ClassRegistry::writeProblem() const
{
    const QFileInfo file(filePath());
    QFileInfo folder(file.absolutePath());
    while (!folder.exists() && folder.absoluteFilePath() != QStringLiteral("/"))
        folder = QFileInfo(folder.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("%1 is not a folder").arg(folder.absoluteFilePath());
    if (!file.exists())
        return folder.isWritable()
                   ? QString()
                   : QStringLiteral("the folder %1 is not writable").arg(folder.absoluteFilePath());
    if (!file.isFile() || !file.isWritable())
        return QStringLiteral("the file is not writable");
    if (open(file.filePath())->status() == QSettings::FormatError)
        return QStringLiteral("the file is not a well-formed registry file");
    return {};
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

std::optional<QByteArray> ClassRegistry::classOfProgId(QByteArrayView progId,
                                                       QByteArray* corrupt) const
{
    if (!isProgId(progId))
        return std::nullopt;
    const QString key = progIdsGroup + '/' + progIdKey(progId) + "/Class";
    for (const QString& path : lookupFiles()) {
        const auto settings = open(path);
        if (!settings->contains(key))
            continue;
        const QByteArray guid = normalizedGuid(bytes(*settings, key));
        if (guid.isEmpty()) {
            report(corrupt, path,
                   "the ProgID \"" + progId.toByteArray() + "\" names the class \"" +
                       bytes(*settings, key) + "\", which is not a GUID");
            return std::nullopt;
        }
        return guid;
    }
    return std::nullopt;
}

std::optional<ClassRegistration> ClassRegistry::findClass(QByteArrayView guid,
                                                          QByteArray* corrupt) const
{
    if (normalizedGuid(guid).isEmpty())
        return std::nullopt;
    QString path;
    const auto settings = firstHolding(classesGroup + QLatin1Char('/') + guidKey(guid), &path);
    if (!settings)
        return std::nullopt;
    const QString library = settings->value("Library").toString();
    if (!QFileInfo(library).isAbsolute()) {
        report(corrupt, path,
               "the class " + normalizedGuid(guid) + " has the library \"" + library.toLocal8Bit() +
                   "\", which is not an absolute path");
        return std::nullopt;
    }
    return ClassRegistration{normalizedGuid(guid), bytes(*settings, "Name"), library,
                             bytes(*settings, "ThreadingModel")};
}

std::optional<TypeLibraryRegistration> ClassRegistry::findTypeLibrary(QByteArrayView guid) const
{
    if (normalizedGuid(guid).isEmpty())
        return std::nullopt;
    const auto settings = firstHolding(typeLibrariesGroup + QLatin1Char('/') + guidKey(guid));
    if (!settings)
        return std::nullopt;
    const QStringList version = settings->value("Version").toString().split(QLatin1Char('.'));
    return TypeLibraryRegistration{normalizedGuid(guid), version.value(0).toInt(),
                                   version.value(1).toInt(), settings->value("Path").toString(),
                                   bytes(*settings, "Name")};
}

std::unique_ptr<QSettings> ClassRegistry::firstHolding(const QString& group, QString* path) const
{
    for (const QString& file : lookupFiles()) {
        auto settings = open(file);
        settings->beginGroup(group);
        if (settings->childKeys().isEmpty())
            continue;
        if (path)
            *path = file;
        return settings;
    }
    return nullptr;
}

std::optional<QString> ClassRegistry::libraryOfClass(QByteArrayView guid, QByteArray* corrupt) const
{
    const std::optional<ClassRegistration> registration = findClass(guid, corrupt);
    return registration ? std::optional(registration->libraryPath) : std::nullopt;
}

bool ClassRegistry::removeGroup(const QString& group)
{
    const QString path = filePath();
    // Nothing registered: nothing to remove, and no empty file to leave behind.
    if (!QFileInfo::exists(path))
        return true;
    bool ok = false;
    bool empty = false;
    {
        const auto settings = open(path);
        settings->remove(group);
        ok = saved(*settings);
        empty = settings->allKeys().isEmpty();
    }
    if (ok && empty) {
        // The last entry went: the file and our folder go with it (rmdir keeps a non-empty one).
        ok = QFile::remove(path);
        QDir().rmdir(QFileInfo(path).absolutePath());
    }
    return ok;
}

} // namespace automation
