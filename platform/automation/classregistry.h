// ClassRegistry: the per-user record of which library implements which class, under which ProgID,
// and where the type libraries are.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSettings;

namespace automation {

struct ClassRegistration {
    QByteArray guid; // "{...}"
    QByteArray name;
    QString libraryPath; // absolute
    QByteArray threadingModel;
};

// What DllRegisterServer records of a type library.
struct TypeLibraryRegistration {
    QByteArray guid;
    int major = 0;
    int minor = 0;
    QString path; // absolute: the library that carries the type information
    QByteArray name;
};

// INI files (QSettings IniFormat). GUIDs are stored in canonical upper case and match in any
// case, with or without braces. A ProgID ("Program.Component") has 1 to 39 characters of letters,
// digits, ".", "_" and "-", and matches in any letter case. Registering again overwrites;
// unregistering what is not there succeeds, and the last removal deletes the file and its
// "Vorlane" folder. Mutators return false, changing nothing, for a malformed GUID or ProgID, a
// relative library path, or a file that cannot be written (writeProblem says why).
//
// Look-ups read the user's file first, then the system-wide ones in XDG_CONFIG_DIRS order: the
// first file holding the entry decides, so a per-user entry wins. An entry that is there but
// unusable is corrupt: the look-up gives nothing and says so in `*corrupt`, naming the file.
class ClassRegistry {
public:
    // The per-user file $XDG_CONFIG_HOME/Vorlane/classes.ini (~/.config when the variable is unset
    // or empty), resolved again at every call; look-ups fall back to the system-wide files.
    ClassRegistry() = default;
    // A registry in the given file only (tools, tests).
    explicit ClassRegistry(QString filePath) : m_scope(Scope::File), m_filePath(std::move(filePath))
    {
    }

    // The system-wide registry: writes go to the first folder of XDG_CONFIG_DIRS (/etc/xdg when
    // unset or empty), look-ups read every folder of it.
    static ClassRegistry system();
    // Where DllRegisterServer and DllUnregisterServer write: the system-wide registry when the
    // environment variable VORLANE_REGISTRY_SCOPE is "system" (regsvr --system sets it), else the
    // user's.
    static ClassRegistry forRegistration();
    static constexpr const char* scopeVariable = "VORLANE_REGISTRY_SCOPE";

    static QString userFilePath();
    static QStringList systemFilePaths();
    // The file written.
    QString filePath() const;
    // The files read, in order.
    QStringList lookupFiles() const;
    // Why the written file cannot take a change, for people ("" when nothing is wrong that can be
    // seen from here): its folder cannot be made, it or its folder is not writable, or it is not
    // a well-formed registry file.
    QString writeProblem() const;

    bool registerClass(const ClassRegistration& registration);
    bool unregisterClass(QByteArrayView guid);
    // The ProgID names a class; the class itself may be registered before or after.
    bool registerProgId(QByteArrayView progId, QByteArrayView classGuid);
    bool unregisterProgId(QByteArrayView progId);
    bool registerTypeLibrary(const TypeLibraryRegistration& registration);
    bool unregisterTypeLibrary(QByteArrayView guid);

    // The class GUID a ProgID names, or nothing. Corrupt: its class is not a GUID.
    std::optional<QByteArray> classOfProgId(QByteArrayView progId,
                                            QByteArray* corrupt = nullptr) const;
    // Corrupt: the class has no library, or its path is not absolute.
    std::optional<ClassRegistration> findClass(QByteArrayView guid,
                                               QByteArray* corrupt = nullptr) const;
    // The library path of a registered class, or nothing.
    std::optional<QString> libraryOfClass(QByteArrayView guid, QByteArray* corrupt = nullptr) const;
    // A registered type library, or nothing.
    std::optional<TypeLibraryRegistration> findTypeLibrary(QByteArrayView guid) const;

private:
    enum class Scope { User, System, File };
    explicit ClassRegistry(Scope scope) : m_scope(scope) {}

    bool removeGroup(const QString& group);
    // The first file read that holds `group`, open at that group, with its path; null when none
    // does.
    std::unique_ptr<QSettings> firstHolding(const QString& group, QString* path = nullptr) const;

    Scope m_scope = Scope::User;
    QString m_filePath;
};

} // namespace automation
