// Reads single message lines back by their start offsets.
#include "scanner/definitioncheck/linereader.h"

#include <QIODevice>
#include <cstring>

namespace scanner {

LineReader::LineReader(QIODevice& message, qsizetype windowSize, qsizetype lineLimit)
    : m_message(message), m_windowSize(qMax<qsizetype>(windowSize, 1)), m_lineLimit(lineLimit)
{
}

bool LineReader::load(qint64 offset)
{
    if (m_message.isSequential()) {
        const qint64 devicePos = m_windowStart < 0 ? 0 : windowEnd();
        const qint64 ahead = offset - devicePos;
        if (ahead < 0 || m_message.skip(ahead) != ahead) {
            return false;
        }
    } else if (!m_message.seek(offset)) {
        return false;
    }
    m_window.resize(m_windowSize);
    const qint64 got = m_message.read(m_window.data(), m_windowSize);
    if (got < 0) {
        m_windowStart = -1;
        m_window.clear();
        return false;
    }
    m_window.resize(got);
    m_windowStart = offset;
    return true;
}

QByteArray LineReader::cutToLimit(QByteArray line) const
{
    if (m_lineLimit >= 0 && line.size() > m_lineLimit) {
        line.truncate(m_lineLimit);
    }
    return line;
}

std::optional<QByteArray> LineReader::lineAt(qint64 lineStart)
{
    qint64 pos = lineStart;
    QByteArray line;
    bool first = true;
    for (;;) {
        if (m_windowStart < 0 || pos < m_windowStart || pos >= windowEnd()) {
            if (!load(pos)) {
                return std::nullopt;
            }
            if (m_window.isEmpty()) {
                return cutToLimit(std::move(line)); // end of file
            }
        }
        const char* from = m_window.constData() + (pos - m_windowStart);
        const qsizetype available = windowEnd() - pos;
        // A line that starts after a CR begins with the LF of a CR LF pair: that LF is line end.
        if (first && lineStart > 0 && *from == '\n') {
            first = false;
            ++pos;
            continue;
        }
        first = false;
        const void* cr = std::memchr(from, '\r', size_t(available));
        if (cr) {
            line.append(from, static_cast<const char*>(cr) - from);
            return cutToLimit(std::move(line));
        }
        line.append(from, available);
        pos += available;
        if (m_lineLimit >= 0 && line.size() >= m_lineLimit) {
            return cutToLimit(std::move(line));
        }
    }
}

} // namespace scanner
