// Where the scanner writes the messages it saves and which def.dat it reads. A program folder the
// user may write to serves for both, as it always has. An installed scanner sits in a folder only
// root may change (/usr/lib/orsel), so it writes to the user's data home instead, and a def.dat
// the user keeps there replaces the installed one.
#pragma once

#include "scanner/account.h"
#include "scanner/programfolder.h"

#include <QString>

struct ScanPlaces {
    ProgramFolder messageFolder;    // the saved msgN.txt files go here
    ProgramFolder definitionFolder; // holds the def.dat the check reads
    // The def.dat, as Qt's file classes name it; valid as long as this object lives, since a
    // folder whose name is not UTF-8 is reached through a descriptor that it holds.
    QString definitionFile() const { return definitionFolder.filePath(QStringLiteral("def.dat")); }
};

// The places for this user and process: probes whether `programFolder` is writable and uses
// userDataHome() + "/Orsel" when it is not, creating that folder (0700) when it is missing.
ScanPlaces scanPlacesFor(const ProgramFolder& programFolder);

// The places of `account`: a named account's messages go to its subfolder of the messages
// folder, created readable by its owner only when it is missing; the definitions are shared.
ScanPlaces scanPlacesFor(const ProgramFolder& programFolder, const Account& account);

// The same decision with the probe's answer and the data home given.
ScanPlaces scanPlacesFor(const ProgramFolder& programFolder, bool programFolderWritable,
                         const QString& dataHome);

// $XDG_DATA_HOME, or ~/.local/share when it is unset or not an absolute path (as the XDG base
// directory rules ask).
QString userDataHome();
