// The folder that holds the program: saved messages and def.dat live there.
#pragma once

#include <QByteArray>
#include <QString>

// Kept as the file system's bytes. QCoreApplication::applicationDirPath() decodes them as UTF-8
// and gives "" when that fails, which would put the saved messages under "/". Qt's file classes
// cannot name such a folder either, so for them filePath() goes through a descriptor of the
// folder held open for the life of the object.
class ProgramFolder {
public:
    // The folder of the running program, from /proc/self/exe.
    static ProgramFolder ofRunningProgram();
    // The folder `nativePath` (bytes as the file system holds them, no trailing '/').
    explicit ProgramFolder(QByteArray nativePath);
    ProgramFolder(const QString& path) : ProgramFolder(path.toUtf8()) {}
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder& other) : ProgramFolder(other.m_native) {}
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const QByteArray& nativePath() const { return m_native; }
    // For texts shown to people; bytes that are not UTF-8 show as replacement characters.
    QString displayPath() const { return QString::fromUtf8(m_native); }
    // The folder's file `name` as the control gets it: bytes.
    QByteArray nativeFilePath(const QString& name) const;
    // A path to the same file that Qt's file classes can open.
    QString filePath(const QString& name) const;

private:
    QByteArray m_native;
    QString m_qtPath; // the folder as Qt can name it
    int m_descriptor = -1;
};
