// Finding one header line by name in a block of header lines.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace headersearch {

inline constexpr const char* kNotFound = "<not found>";

// Where a header's line sits in the searched text, for the trace.
struct Match {
    bool found = false;
    qsizetype lineEndPosition = 0; // 1-based position of the line's CR LF in `line`, 0 if none
    QByteArray line;               // from the header's name to the end of the text
    QByteArray value;              // the value, or kNotFound
};

// Searches `headers` (lines ending in CR LF) for the first line whose name is `name`, compared
// without regard to ASCII letter case. The name is trimmed of spaces and gets a ":" when it has
// none, so "Subject", " Subject " and "subject:" are the same search. Only a whole name at the
// start of a line matches ("To" does not find "Reply-To:"). The value is the rest of that
// physical line after the first colon, trimmed of spaces (tabs stay); folded continuation lines
// are not joined. Positions are 64-bit, so any header block size works.
Match find(QByteArrayView headers, QByteArrayView name);

// Removes leading and trailing spaces, and only spaces.
QByteArray trimSpaces(QByteArrayView text);

} // namespace headersearch
