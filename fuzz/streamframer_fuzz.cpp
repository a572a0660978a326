// The streamed receive path: a server response cut into reads of sizes the input chooses, framed
// as the control frames it, must give what a plain framing of the whole response gives.
//
// Input: byte 0 (low four bits) = n, the next n bytes = read sizes used in turn over the whole
// response (0 is an empty read), the rest = the response. No sizes, or only zeros: one read.
#include "control/streamframer.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

constexpr QByteArrayView kMarker("\r\n.\r\n");

struct Framed {
    QByteArray statusLine;
    QByteArray body;
    QByteArray after; // bytes after the end marker: the start of the next reply
    bool finished = false;
};

// Status line up to the first CR LF; the body from after it up to the first CR LF "." CR LF,
// searched from the status line's own CR LF so that an empty body is found.
Framed referenceFraming(QByteArrayView response)
{
    Framed out;
    const qsizetype lineEnd = response.indexOf("\r\n");
    if (lineEnd < 0) {
        out.statusLine = response.toByteArray();
        return out;
    }
    out.statusLine = response.first(lineEnd).toByteArray();
    const QByteArrayView rest = response.sliced(lineEnd + 2);
    const qsizetype marker = response.indexOf(kMarker, lineEnd);
    if (marker >= 0) {
        out.finished = true;
        out.body = response.sliced(lineEnd + 2, std::max<qsizetype>(0, marker - lineEnd - 2))
                       .toByteArray();
        out.after = response.sliced(marker + kMarker.size()).toByteArray();
        return out;
    }
    // Unfinished: the tail that may still become the marker is held back, nothing else.
    const QByteArray seen = "\r\n" + rest.toByteArray();
    qsizetype held = kMarker.size() - 1;
    while (held > 0 && !seen.endsWith(kMarker.first(held))) {
        --held;
    }
    out.body = rest.first(rest.size() - std::min(held, rest.size())).toByteArray();
    return out;
}

// Framing as the control's receive handler does it: per read, the status line first, then the
// body from the same read; body pieces are views kept until the read is done, then written.
Framed streamedFraming(QByteArrayView response, const QList<qsizetype>& sizes)
{
    StreamFramer framer;
    framer.start();
    Framed out;
    QList<QByteArrayView> pieces;
    const StreamFramer::BodySink sink = [&](QByteArrayView bytes) { pieces.append(bytes); };
    qsizetype from = 0;
    for (qsizetype turn = 0; from < response.size(); ++turn) {
        const qsizetype size = sizes.isEmpty() ? response.size() : sizes[turn % sizes.size()];
        // A copy of the read alone: a view kept beyond it would be caught by the sanitizer.
        const QByteArray chunk =
            response.sliced(from, std::min(size, response.size() - from)).toByteArray();
        from += chunk.size();
        if (out.finished) {
            out.after += chunk;
            continue;
        }
        qsizetype position = 0;
        if (framer.statusLinePending()) {
            const qsizetype afterLine = framer.takeStatusLine(chunk, out.statusLine);
            fuzzcheck::require(afterLine <= chunk.size(), "status line end beyond the read");
            fuzzcheck::require((afterLine < 0) == framer.statusLinePending(),
                               "status line state disagrees with its end");
            position = afterLine < 0 ? chunk.size() : afterLine;
        }
        if (!framer.statusLinePending()) {
            const qsizetype used = framer.takeBody(QByteArrayView(chunk).sliced(position), sink);
            fuzzcheck::require(used >= 0 && used <= chunk.size() - position,
                               "body consumed more than the read");
            fuzzcheck::require(framer.finished() || used == chunk.size() - position,
                               "body left bytes unconsumed before the marker");
            position += used;
        }
        for (const QByteArrayView piece : std::as_const(pieces)) {
            out.body += piece;
        }
        pieces.clear();
        out.finished = framer.finished();
        if (out.finished) {
            out.after += QByteArrayView(chunk).sliced(position);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const char*>(data);
    const qsizetype count = std::min<qsizetype>(data[0] & 0x0f, qsizetype(size) - 1);
    QList<qsizetype> sizes;
    for (qsizetype i = 0; i < count; ++i) {
        sizes.append(data[1 + i]);
    }
    if (std::all_of(sizes.begin(), sizes.end(), [](qsizetype s) { return s == 0; })) {
        sizes.clear();
    }
    const QByteArrayView response(bytes + 1 + count, qsizetype(size) - 1 - count);

    const Framed want = referenceFraming(response);
    const Framed got = streamedFraming(response, sizes);
    fuzzcheck::requireEqual(got.statusLine, want.statusLine, "status line");
    fuzzcheck::requireEqual(got.body, want.body, "body");
    fuzzcheck::requireEqual(got.after, want.after, "bytes after the marker");
    fuzzcheck::require(got.finished == want.finished, "finished");
    return 0;
}
