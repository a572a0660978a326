#include "control/headersearch.h"

namespace headersearch {

QByteArray trimSpaces(QByteArrayView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == ' ') {
        ++first;
    }
    while (last > first && text[last - 1] == ' ') {
        --last;
    }
    return text.sliced(first, last - first).toByteArray();
}

Match find(QByteArrayView headers, QByteArrayView name)
{
    // The leading line break lets the first header line match like every other line.
    const QByteArray searched = "\r\n" + headers.toByteArray();
    QByteArray key = "\r\n" + trimSpaces(name);
    if (!key.endsWith(':')) {
        key += ':';
    }
    Match match;
    const qsizetype at = searched.toUpper().indexOf(key.toUpper());
    if (at < 0) {
        match.value = kNotFound;
        return match;
    }
    match.found = true;
    match.line = searched.sliced(at + 2);
    const qsizetype lineEnd = match.line.indexOf("\r\n");
    match.lineEndPosition = lineEnd + 1;
    const QByteArray firstLine = lineEnd >= 0 ? match.line.first(lineEnd) : match.line;
    match.value = trimSpaces(QByteArrayView(firstLine).sliced(firstLine.indexOf(':') + 1));
    return match;
}

} // namespace headersearch
