// The header search on any header block and any name, against a naive line-by-line search.
//
// Input: byte 0 with its high bit set picks a common header name (low bits), otherwise its low
// six bits are the length of the name that follows; the rest is the header block.
#include "control/headersearch.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

constexpr const char* kCommonNames[] = {"Subject",  "from:",    " To ", "Reply-To",
                                        "X-Folded", "received", "",     ":"};

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool startsWithFolded(QByteArrayView text, QByteArrayView prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (foldAscii(text[i]) != foldAscii(prefix[i])) {
            return false;
        }
    }
    return true;
}

// The first line start (the block's start or just after a CR LF) where the trimmed name and its
// colon stand, ASCII letters compared without case.
headersearch::Match referenceFind(QByteArrayView headers, QByteArrayView name)
{
    qsizetype first = 0;
    qsizetype last = name.size();
    while (first < last && name[first] == ' ') {
        ++first;
    }
    while (last > first && name[last - 1] == ' ') {
        --last;
    }
    QByteArray key = name.sliced(first, last - first).toByteArray();
    if (!key.endsWith(':')) {
        key += ':';
    }
    headersearch::Match match;
    match.value = headersearch::kNotFound;
    for (qsizetype at = 0; at <= headers.size(); ++at) {
        const bool lineStart = at == 0 || (at >= 2 && headers.sliced(at - 2, 2) == "\r\n");
        if (!lineStart || !startsWithFolded(headers.sliced(at), key)) {
            continue;
        }
        match.found = true;
        match.line = headers.sliced(at).toByteArray();
        const qsizetype lineEnd = match.line.indexOf("\r\n");
        match.lineEndPosition = lineEnd < 0 ? 0 : lineEnd + 1;
        const QByteArray firstLine = lineEnd < 0 ? match.line : match.line.first(lineEnd);
        const qsizetype colon = firstLine.indexOf(':');
        match.value = headersearch::trimSpaces(firstLine.sliced(colon < 0 ? 0 : colon + 1));
        break;
    }
    return match;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const char*>(data) + 1;
    const qsizetype rest = qsizetype(size) - 1;
    QByteArrayView name;
    qsizetype nameLength = 0;
    if (data[0] & 0x80) {
        name = kCommonNames[data[0] % std::size(kCommonNames)];
    } else {
        nameLength = std::min<qsizetype>(data[0] & 0x3f, rest);
        name = QByteArrayView(bytes, nameLength);
    }
    const QByteArrayView headers(bytes + nameLength, rest - nameLength);

    const headersearch::Match got = headersearch::find(headers, name);
    const headersearch::Match want = referenceFind(headers, name);
    fuzzcheck::require(got.found == want.found, "found");
    fuzzcheck::requireEqual(got.value, want.value, "value");
    fuzzcheck::requireEqual(got.line, want.line, "line");
    fuzzcheck::require(got.lineEndPosition == want.lineEndPosition, "line end position");
    fuzzcheck::require(!got.value.contains("\r\n"), "value holds a line end");
    return 0;
}
