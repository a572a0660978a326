// How a message names one of our programs so that the user can type it. Installed, the programs
// sit in /usr/lib/orsel, reached through commands in /usr/bin (orsel01, orsel-settings); run
// from a build folder, only their path reaches them.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The command for the program at `programPath` ("Orsel01" or "settings"), when the command of
// that name found on `searchPath` (empty: PATH) leads to this very file; nothing otherwise.
std::optional<QString> installedCommand(const QString& programPath,
                                        const QStringList& searchPath = {});
