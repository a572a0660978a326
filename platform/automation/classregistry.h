// ClassRegistry: the per-user record of which library implements which class, under which ProgID,
// and where the type libraries are.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace automation {

struct ClassRegistration {
    QByteArray guid; // "{...}"
    QByteArray name;
    QString libraryPath; // absolute
    QByteArray threadingModel;
};

struct TypeLibraryRegistration {
    QByteArray guid;
    int major = 0;
    int minor = 0;
    QString path; // absolute: the library that carries the type information
    QByteArray name;
};

// An INI file (QSettings IniFormat). GUIDs are stored in canonical upper case and match in any
// case, with or without braces. A ProgID ("Program.Component") has 1 to 39 characters of letters,
// digits, ".", "_" and "-", and matches in any letter case. Registering again overwrites;
// unregistering what is not there succeeds. Mutators return false, changing nothing, for a
// malformed GUID or ProgID, a relative library path, or a file that cannot be written.
class ClassRegistry {
public:
    // The per-user file $XDG_CONFIG_HOME/Vorlane/classes.ini (~/.config when the variable is unset
    // or empty), resolved again at every call.
    ClassRegistry() = default;
    // A registry in the given file instead (tools, tests).
    explicit ClassRegistry(QString filePath) : m_filePath(std::move(filePath)) {}

    static QString userFilePath();
    QString filePath() const;

    bool registerClass(const ClassRegistration& registration);
    bool unregisterClass(QByteArrayView guid);
    // The ProgID names a class; the class itself may be registered before or after.
    bool registerProgId(QByteArrayView progId, QByteArrayView classGuid);
    bool unregisterProgId(QByteArrayView progId);
    bool registerTypeLibrary(const TypeLibraryRegistration& registration);
    bool unregisterTypeLibrary(QByteArrayView guid);

    // The class GUID a ProgID names, or nothing.
    std::optional<QByteArray> classOfProgId(QByteArrayView progId) const;
    std::optional<ClassRegistration> findClass(QByteArrayView guid) const;
    // The library path of a registered class, or nothing.
    std::optional<QString> libraryOfClass(QByteArrayView guid) const;
    std::optional<TypeLibraryRegistration> findTypeLibrary(QByteArrayView guid) const;

private:
    bool removeGroup(const QString& group);

    QString m_filePath;
};

} // namespace automation
