// Standard output and standard error as the scanner writes them: one text at a time, flushed, so
// that a reader sees each status as it happens.
#pragma once

#include <QString>

// The text with each CR shown as a line break, then a line break.
void writeStatusText(const QString& text);
// The same on standard error.
void writeErrorText(const QString& text);
