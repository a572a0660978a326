// Framing of a streamed multi-line POP3 response: the status line, the body, and the end marker
// CR LF "." CR LF, recognised wherever the reads split them.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// The matcher keeps its progress between reads, so a marker or a status-line CR LF split over
// any number of chunks is still found. Bytes that might belong to the marker are held back and
// released only once they turn out to be body, so nothing of the marker reaches the sink. The
// body is passed on as received: no dot-unstuffing (the file is the server's bytes).
class StreamFramer {
public:
    using BodySink = std::function<void(QByteArrayView)>;

    // Where the end marker CR LF "." CR LF starts in `text` at or after `from`, else -1. Found
    // line by line with memchr: a general substring search steps through every byte, which
    // costs more than the whole rest of receiving a large message.
    static qsizetype findEndMarker(QByteArrayView text, qsizetype from = 0);

    // Arms the framer for a new response: status line pending, no body seen.
    void start();

    bool statusLinePending() const { return m_statusLinePending; }
    bool finished() const { return m_finished; }

    // Appends status-line bytes of `chunk` (without the CR LF) to `line`. Returns the index just
    // after the line's LF when the line ended in this chunk, else -1 (all of `chunk` was taken).
    qsizetype takeStatusLine(QByteArrayView chunk, QByteArray& line);

    // Passes body bytes of `chunk` to `sink`, in order, in one or more pieces. Returns how many
    // bytes of `chunk` were consumed: all of them, or fewer when the end marker was found (the
    // count then includes the marker; what follows belongs to the next reply).
    qsizetype takeBody(QByteArrayView chunk, const BodySink& sink);

private:
    void releaseHeld(int count, const BodySink& sink);

    bool m_statusLinePending = false;
    bool m_finished = false;
    bool m_lastWasCR = false; // the status line read so far ends with CR
    int m_held = 0;           // bytes of the marker matched so far (a prefix of it)
    int m_virtual = 0;        // leading held bytes that are the status line's CR LF, not body
};
