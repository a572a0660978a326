#include "scanner/writablehome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isWritableFolder(const QString& folder)
{
    // access() asks the kernel with the real ids, so ACLs and read-only mounts count too.
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

// Saved messages may hold private mail: the folder is the user's alone when we make it. A folder
// that already exists keeps the mode its owner gave it.
void createPrivateFolder(const QString& dataHome, const QString& folder)
{
    QDir().mkpath(dataHome);
    ::mkdir(QFile::encodeName(folder).constData(), S_IRWXU);
}

} // namespace

ScanPlaces scanPlacesFor(const ProgramFolder& programFolder)
{
    const bool writable = isWritableFolder(programFolder.filePath(QStringLiteral(".")));
    return scanPlacesFor(programFolder, writable, writable ? QString() : userDataHome());
}

ScanPlaces scanPlacesFor(const ProgramFolder& programFolder, const Account& account)
{
    const ScanPlaces places = scanPlacesFor(programFolder);
    if (account.isDefault()) {
        return places;
    }
    // Built from the bytes: the messages folder's own name need not be UTF-8. A folder that
    // cannot be made makes the first save fail, naming it.
    QByteArray folder = places.messageFolder.nativePath();
    for (const QString& part : account.savedFilesSubfolder().split(QLatin1Char('/'))) {
        folder += '/' + QFile::encodeName(part);
        ::mkdir(folder.constData(), S_IRWXU);
    }
    return {ProgramFolder(folder), places.definitionFolder};
}

ScanPlaces scanPlacesFor(const ProgramFolder& programFolder, bool programFolderWritable,
                         const QString& dataHome)
{
    if (programFolderWritable) {
        return {programFolder, programFolder};
    }
    // When the folder cannot be made the save fails later and names this folder, which is where
    // the user has to look.
    const QString home = dataHome + QStringLiteral("/Orsel");
    createPrivateFolder(dataHome, home);
    const QString own = home + QStringLiteral("/def.dat");
    const ProgramFolder homeFolder(QFile::encodeName(home));
    return {homeFolder, QFileInfo(own).isFile() ? homeFolder : programFolder};
}

QString userDataHome()
{
    const QString configured = qEnvironmentVariable("XDG_DATA_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured)) {
        return QDir::cleanPath(configured);
    }
    return QDir::homePath() + QStringLiteral("/.local/share");
}
