#include "control/bufferedreply.h"

BufferedReply::BufferedReply(StreamFramer::Reply kind) : m_kind(kind)
{
    restart();
}

bool BufferedReply::ended(const QByteArray& buffer)
{
    if (buffer.size() < m_framed) {
        // Emptied meanwhile (a host's call in between, or an abandoned reply): start again.
        restart();
    }
    if (!m_framer.finished()) {
        m_framed += m_framer.take(QByteArrayView(buffer).sliced(m_framed), m_statusLine, m_sink);
    }
    return m_framer.finished();
}

QByteArray BufferedReply::text() const
{
    return m_framer.endedAtStatusLine() ? m_statusLine : m_statusLine + "\r\n" + m_body;
}

void BufferedReply::restart()
{
    m_framer.start(m_kind);
    m_framed = 0;
    m_statusLine.clear();
    m_body.clear();
}
