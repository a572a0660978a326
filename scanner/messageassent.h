// The saved file keeps the message as it came over the wire: a stuffed dot at the start of a line
// stays, the last line's CR LF goes. The engines that decode or unpack the message, and the
// quarantine, need the message as it was sent (RFC 1939, 3): stuffed dots removed, last line
// ended. This writes that beside the saved file, in blocks, never holding the message in memory.
#pragma once

#include <QString>

namespace messageassent {

// Writes `viewPath` (new, owner-only) from the saved file `savedPath`. False with *error when
// either cannot be read or written; nothing is left at `viewPath` then.
bool write(const QString& savedPath, const QString& viewPath, QString* error);

// The name it gets beside the saved file: hidden, so that a folder listing shows what it did.
QString pathFor(const QString& savedPath);

} // namespace messageassent
