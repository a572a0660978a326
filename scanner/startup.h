// The load handler of the window: read the stored settings; when one is missing hand over to
// the settings program and end, else show the window on top of the others.
#pragma once

#include "scanner/modgeneral.h"
#include "scanner/programfolder.h"
#include "scanner/scanhooks.h"

class ScanSurface;

// Returns the settings of `account` for the run, or ends the program through the hooks (which
// hand over to the settings program in `programFolder`, or explain) when one of them is empty.
// A settings file that is not a regular file is an error box and exit status 1. The surface is
// shown only when all three are there.
modGeneral::StoredSettings startUp(ScanSurface& surface, const ProgramFolder& programFolder,
                                   const ScanHooks& hooks, const Account& account = Account());
