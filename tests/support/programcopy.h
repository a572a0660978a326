// A program copied into a folder of its own, as a test or benchmark installs it there.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

// Copies the program and the modules it loads from its own folder (its name, then anything, then
// ".so": Orsel01ui.so beside Orsel01) into `folder`. False when a file cannot be copied.
inline bool copyProgramWithModules(const QString& program, const QString& folder)
{
    const QFileInfo source(program);
    QStringList files{source.fileName()};
    files += QDir(source.absolutePath())
                 .entryList({source.fileName() + QStringLiteral("*.so")}, QDir::Files);
    bool copied = true;
    for (const QString& name : files) {
        copied = QFile::copy(source.absolutePath() + QLatin1Char('/') + name,
                             folder + QLatin1Char('/') + name) &&
                 copied;
    }
    return copied;
}
