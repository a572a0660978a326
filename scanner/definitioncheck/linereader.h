// Reads single message lines back by their start offsets, after the matching pass has named them.
#pragma once

#include <QByteArray>
#include <optional>

class QIODevice;

namespace scanner {

class LineReader {
public:
    // The device must stay open while the reader is used. A sequential device is read forward
    // only, so its lines must be asked for in ascending order. Lines longer than lineLimit bytes
    // come back cut to their first lineLimit bytes, which bounds memory on texts without CRs.
    explicit LineReader(QIODevice& message, qsizetype windowSize = 64 * 1024,
                        qsizetype lineLimit = -1);

    // The line that starts at lineStart (0, or the offset just after a CR), without its line end:
    // it runs to the next CR or the end of the file, and a lone LF inside it stays. Lines are
    // cheapest when asked for in ascending order. Returns nothing when seeking or reading fails.
    std::optional<QByteArray> lineAt(qint64 lineStart);

private:
    bool load(qint64 offset);
    QByteArray cutToLimit(QByteArray line) const;
    qint64 windowEnd() const { return m_windowStart + m_window.size(); }

    QIODevice& m_message;
    qsizetype m_windowSize;
    qsizetype m_lineLimit;
    QByteArray m_window;
    qint64 m_windowStart = -1;
};

} // namespace scanner
