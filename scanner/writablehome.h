// Where the scanner writes the messages it saves and which def.dat it reads. A program folder the
// user may write to serves for both, as it always has. An installed scanner sits in a folder only
// root may change (/usr/lib/orsel), so it writes to the user's data home instead, and a def.dat
// the user keeps there replaces the installed one.
#pragma once

#include "scanner/programfolder.h"

#include <QString>

struct ScanPlaces {
    ProgramFolder messageFolder; // the saved msgN.txt files go here
    QString definitionFile;      // the def.dat the check reads, as Qt's file classes name it
};

// The places for this user and process: probes whether `programFolder` is writable and uses
// userDataHome() + "/Orsel" when it is not, creating that folder (0700) when it is missing.
ScanPlaces scanPlacesFor(const ProgramFolder& programFolder);

// The same decision with the probe's answer and the data home given.
ScanPlaces scanPlacesFor(const ProgramFolder& programFolder, bool programFolderWritable,
                         const QString& dataHome);

// $XDG_DATA_HOME, or ~/.local/share when it is unset or not an absolute path (as the XDG base
// directory rules ask).
QString userDataHome();
