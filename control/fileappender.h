// Appending bytes to a file, the one writer of message files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <span>

namespace fileappender {

inline constexpr const char* kOpenError = "Error attempting to open file";
inline constexpr const char* kWriteError = "Error writing to file";

// Appends `bytes` to the file at `path` (bytes of a local file name), creating it when absent.
// Opens and closes the file on every call; nothing stays open in between. Returns "" on success,
// else kOpenError or kWriteError. Never throws.
QByteArray appendToFile(const QByteArray& path, QByteArrayView bytes);

// The same for several pieces, appended in order by one open, one gathered write and one close.
QByteArray appendToFile(const QByteArray& path, std::span<const QByteArrayView> pieces);

// Deletes the file; a missing file is not an error. Returns 0 or the failure's errno.
int deleteFile(const QByteArray& path);

} // namespace fileappender
