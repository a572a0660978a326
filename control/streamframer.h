// Where a POP3 reply ends, wherever the reads split it: after its status line, or after the
// body's end marker CR LF "." CR LF. Every exchange of the control frames its replies here.
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

    // What ends a reply besides its end marker.
    enum class Reply {
        SingleLine, // its status line, always
        MultiLine,  // a status line that begins with "-ERR" (a refusal has no body)
        Body,       // nothing: the streamed exchange waits for the marker alone
    };

    // Where the end marker CR LF "." CR LF starts in `text` at or after `from`, else -1. Found
    // line by line with memchr: a general substring search steps through every byte, which
    // costs more than the whole rest of receiving a large message.
    static qsizetype findEndMarker(QByteArrayView text, qsizetype from = 0);

    // Arms the framer for a new response: status line pending, no body seen.
    void start(Reply kind = Reply::Body);

    bool statusLinePending() const { return m_statusLinePending; }
    // The reply has ended (with its status line or its end marker).
    bool finished() const { return m_finished; }
    // The end marker began with the status line's own CR LF: there is no body, not even an
    // empty line.
    bool endedAtStatusLine() const { return m_endedAtStatusLine; }

    // Takes what belongs to the reply from `chunk`: status-line bytes are appended to `line`
    // (empty at the start; without the CR LF), body bytes go to `sink`. Returns how many bytes
    // were taken: all of them, or fewer once the reply ended (what follows is not its own).
    qsizetype take(QByteArrayView chunk, QByteArray& line, const BodySink& sink);

    // Appends status-line bytes of `chunk` (without the CR LF) to `line`. Returns the index just
    // after the line's LF when the line ended in this chunk, else -1 (all of `chunk` was taken).
    qsizetype takeStatusLine(QByteArrayView chunk, QByteArray& line);

    // Passes body bytes of `chunk` to `sink`, in order, in one or more pieces. Returns how many
    // bytes of `chunk` were consumed: all of them, or fewer when the end marker was found (the
    // count then includes the marker; what follows belongs to the next reply).
    qsizetype takeBody(QByteArrayView chunk, const BodySink& sink);

private:
    void releaseHeld(int count, const BodySink& sink);

    Reply m_kind = Reply::Body;
    bool m_statusLinePending = false;
    bool m_finished = false;
    bool m_endedAtStatusLine = false;
    bool m_lastWasCR = false; // the status line read so far ends with CR
    int m_held = 0;           // bytes of the marker matched so far (a prefix of it)
    int m_virtual = 0;        // leading held bytes that are the status line's CR LF, not body
};
