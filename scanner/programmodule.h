// The program's own modules beside it in its folder (the window, the decoded check's GMime, the
// in-process ClamAV engine): each is loaded when a run first needs it, and then stays.
#pragma once

#include "platform/modulelibrary.h"
#include "scanner/programfolder.h"

// The interface object of the module `fileName` in the running program's folder. Null when it
// cannot be loaded, with *failure naming the file and the loader's reason.
template <class Kit>
const Kit* loadProgramModule(const char* fileName, const char* entryPoint, QString* failure)
{
    QByteArray why;
    const ProgramFolder folder = ProgramFolder::ofRunningProgram();
    const Kit* kit = platform::loadModuleKit<Kit>(folder.filePath(QString::fromLatin1(fileName)),
                                                  entryPoint, &why);
    if (!kit && failure) {
        *failure = QString::fromLocal8Bit(why);
    }
    return kit;
}
