#include "scanner/installedcommand.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {

// As the packaging links them into /usr/bin.
struct Command {
    QLatin1StringView program;
    QLatin1StringView command;
};
constexpr Command kCommands[] = {
    {QLatin1StringView("Orsel01"), QLatin1StringView("orsel01")},
    {QLatin1StringView("settings"), QLatin1StringView("orsel-settings")},
};

} // namespace

std::optional<QString> installedCommand(const QString& programPath, const QStringList& searchPath)
{
    const QFileInfo program(programPath);
    for (const Command& entry : kCommands) {
        if (program.fileName() != entry.program) {
            continue;
        }
        const QString found = QStandardPaths::findExecutable(entry.command, searchPath);
        const QString target = program.canonicalFilePath();
        if (!found.isEmpty() && !target.isEmpty() &&
            QFileInfo(found).canonicalFilePath() == target) {
            return QString(entry.command);
        }
    }
    return std::nullopt;
}
