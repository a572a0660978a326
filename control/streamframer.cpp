#include "control/streamframer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kMarker[5] = {'\r', '\n', '.', '\r', '\n'};
constexpr int kMarkerLength = 5;

// Longest proper prefix of the marker that is also a suffix of its first k bytes
// (Knuth-Morris-Pratt failure function); only "\r\n.\r" overlaps itself, in its "\r".
constexpr int kFallback[kMarkerLength] = {0, 0, 0, 0, 1};

} // namespace

qsizetype StreamFramer::findEndMarker(QByteArrayView text, qsizetype from)
{
    const char* data = text.data();
    const qsizetype size = text.size();
    // The marker's LF is its second byte: look for each LF that has a CR before it and ". CR LF"
    // after it.
    for (qsizetype at = from + 1; at + 3 < size;) {
        const void* lf = std::memchr(data + at, '\n', size_t(size - 3 - at));
        if (!lf) {
            break;
        }
        at = static_cast<const char*>(lf) - data;
        if (data[at - 1] == '\r' && data[at + 1] == '.' && data[at + 2] == '\r' &&
            data[at + 3] == '\n') {
            return at - 1;
        }
        ++at;
    }
    return -1;
}

void StreamFramer::start(Reply kind)
{
    m_kind = kind;
    m_statusLinePending = true;
    m_finished = false;
    m_endedAtStatusLine = false;
    m_lastWasCR = false;
    m_held = 0;
    m_virtual = 0;
}

qsizetype StreamFramer::takeStatusLine(QByteArrayView chunk, QByteArray& line)
{
    const char* data = chunk.data();
    const qsizetype size = chunk.size();
    qsizetype from = 0;
    while (from < size) {
        const void* lf = std::memchr(data + from, '\n', size - from);
        if (!lf) {
            break;
        }
        const qsizetype at = static_cast<const char*>(lf) - data;
        const bool afterCR = at > 0 ? data[at - 1] == '\r' : m_lastWasCR;
        if (afterCR) {
            line.append(data, at);
            line.chop(1); // the CR, which may have come with an earlier chunk
            m_statusLinePending = false;
            // The status line's CR LF may be the start of the end marker (empty body).
            m_held = 2;
            m_virtual = 2;
            return at + 1;
        }
        from = at + 1;
    }
    line.append(data, size);
    if (size > 0) {
        m_lastWasCR = data[size - 1] == '\r';
    }
    return -1;
}

void StreamFramer::releaseHeld(int count, const BodySink& sink)
{
    // The held bytes are always the marker's first m_held bytes, so they can be re-emitted from
    // the marker itself even when they arrived with an earlier chunk.
    if (count > m_virtual) {
        sink(QByteArrayView(kMarker + m_virtual, count - m_virtual));
    }
    m_virtual = std::max(0, m_virtual - count);
    m_held -= count;
}

qsizetype StreamFramer::takeBody(QByteArrayView chunk, const BodySink& sink)
{
    const char* data = chunk.data();
    const qsizetype size = chunk.size();
    qsizetype i = 0;
    // A marker prefix held from earlier bytes (or the status line's CR LF) is resolved one byte
    // at a time; that takes at most four steps.
    while (m_held > 0 && i < size) {
        if (data[i] == kMarker[m_held]) {
            ++m_held;
            ++i;
            if (m_held == kMarkerLength) {
                m_endedAtStatusLine = m_virtual > 0;
                m_held = 0;
                m_virtual = 0;
                m_finished = true;
                return i;
            }
            continue;
        }
        // Mismatch: the held bytes that can no longer start the marker are body. The current
        // byte is examined again against the shorter match.
        releaseHeld(m_held - kFallback[m_held], sink);
    }
    if (m_held > 0) {
        return size;
    }
    // Nothing held: the rest of the chunk is body up to the marker, if it is in this chunk.
    const QByteArrayView rest = chunk.sliced(i);
    const qsizetype marker = findEndMarker(rest);
    if (marker >= 0) {
        if (marker > 0) {
            sink(rest.first(marker));
        }
        m_finished = true;
        return i + marker + kMarkerLength;
    }
    // Hold back the longest tail that could still become the marker with the next chunk.
    int hold = std::min<qsizetype>(kMarkerLength - 1, rest.size());
    while (hold > 0 && !rest.endsWith(QByteArrayView(kMarker, hold))) {
        --hold;
    }
    if (rest.size() > hold) {
        sink(rest.first(rest.size() - hold));
    }
    m_held = hold;
    return size;
}

qsizetype StreamFramer::take(QByteArrayView chunk, QByteArray& line, const BodySink& sink)
{
    qsizetype taken = 0;
    if (m_statusLinePending) {
        const qsizetype afterLine = takeStatusLine(chunk, line);
        if (afterLine < 0) {
            return chunk.size();
        }
        taken = afterLine;
        if (m_kind == Reply::SingleLine ||
            (m_kind == Reply::MultiLine && line.startsWith("-ERR"))) {
            m_held = 0;
            m_virtual = 0;
            m_finished = true;
            return taken;
        }
    }
    if (m_finished) {
        return 0;
    }
    return taken + takeBody(chunk.sliced(taken), sink);
}
