// Reading a file whose path a user chose (a CA file, a settings or memory file, a definition or
// signature file): only a regular file is read. A FIFO or a device named there must neither hang
// the single thread (an open or a read that never returns) nor feed it without end (/dev/zero).
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QFile;

namespace platform {

// Opens `path` (bytes of a local file name) for reading without blocking, then looks at what it
// opened: anything but a regular file is refused. The descriptor is blocking again on return.
// Returns it, or -1 with *reason "not a regular file" or the system's reason.
int openRegularFile(const QByteArray& path, QString* reason);

// The same into `file` (which then owns the descriptor), for Qt's readers. `unbuffered` skips
// QIODevice's own buffer for callers that read in large blocks.
bool openRegularFile(QFile& file, const QString& path, QString* reason, bool unbuffered = false);

// The whole file, when it is a regular file of at most `maxBytes`; otherwise nothing, with
// *reason as above or "larger than N bytes".
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, QString* reason);

// "Cannot read WHAT PATH: REASON", the one way these refusals are worded.
QString cannotRead(const QString& what, const QString& path, const QString& reason);

} // namespace platform
