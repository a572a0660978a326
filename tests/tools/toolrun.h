// Running a built tool as a child process, bounded in time, with its own configuration folder so
// that no user's class registry is read or written.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct ToolRun {
    bool finished = false; // false: it did not end in time and was killed
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // Standard output split into lines, without line ends.
    QList<QByteArray> lines() const;
};

// Runs the program with XDG_CONFIG_HOME set to `configHome` and XDG_CONFIG_DIRS to its "system"
// subfolder, writes `input` to its standard input
// and closes it, and waits for its end, killing it after 30 seconds.
ToolRun runTool(const QString& program, const QStringList& arguments, const QString& configHome,
                const QByteArray& input = {}, const QString& workingDirectory = {});
