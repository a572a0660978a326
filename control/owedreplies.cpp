#include "control/owedreplies.h"

namespace {

// RFC 1939 keeps status lines under 512 octets; more is not worth a trace.
constexpr qsizetype kTracedLineLimit = 512;

} // namespace

void OwedReplies::owe(StreamFramer::Reply kind, QByteArrayView partial)
{
    m_kinds.append(kind);
    if (m_kinds.size() == 1) {
        startOldest();
    }
    discard(partial);
}

qsizetype OwedReplies::discard(QByteArrayView chunk)
{
    const StreamFramer::BodySink drop = [](QByteArrayView) {};
    qsizetype used = 0;
    while (!m_kinds.isEmpty() && used < chunk.size()) {
        used += m_framer.take(chunk.sliced(used), m_statusLine, drop);
        // Bounded as it comes, with one byte to spare: a CR at its end is taken off again when
        // the LF follows in the next read.
        m_statusLine.truncate(kTracedLineLimit + 1);
        if (m_framer.finished()) {
            m_statusLine.truncate(kTracedLineLimit);
            m_onDropped(m_statusLine);
            m_kinds.removeFirst();
            if (!m_kinds.isEmpty()) {
                startOldest();
            }
        }
    }
    return used;
}

void OwedReplies::startOldest()
{
    m_framer.start(m_kinds.first());
    m_statusLine.clear();
}
