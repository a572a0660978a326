// Reads single message lines back by their start offsets, after the matching pass has named them.
#pragma once

#include <QByteArray>
#include <optional>

class QIODevice;

namespace scanner {

class LineReader {
public:
    // The device must be seekable and stay open while the reader is used.
    explicit LineReader(QIODevice& message, qsizetype windowSize = 64 * 1024);

    // The line that starts at lineStart (0, or the offset just after a CR), without its line end:
    // it runs to the next CR or the end of the file, and a lone LF inside it stays. Lines are
    // cheapest when asked for in ascending order. Returns nothing when seeking or reading fails.
    std::optional<QByteArray> lineAt(qint64 lineStart);

private:
    bool load(qint64 offset);
    qint64 windowEnd() const { return m_windowStart + m_window.size(); }

    QIODevice& m_message;
    qsizetype m_windowSize;
    QByteArray m_window;
    qint64 m_windowStart = -1;
};

} // namespace scanner
