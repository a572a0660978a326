// A text reply framed where the receive path collects it (the control's strDataBuffer), which
// holds the reply from its first byte: each look frames what arrived since the last one.
#pragma once

#include "control/streamframer.h"

#include <QByteArray>
#include <QByteArrayView>

class BufferedReply {
public:
    explicit BufferedReply(StreamFramer::Reply kind);

    // Frames what `buffer` gained since the last look; true once the reply has ended.
    bool ended(const QByteArray& buffer);
    // The ended reply as the exchange returns it: the status line with its CR LF, then the body
    // without the end marker (whose CR LF is the status line's own when there is no body).
    QByteArray text() const;
    // What the buffer holds beyond the ended reply.
    QByteArrayView after(const QByteArray& buffer) const
    {
        return QByteArrayView(buffer).sliced(m_framed);
    }

private:
    void restart();

    const StreamFramer::Reply m_kind;
    StreamFramer m_framer;
    qsizetype m_framed = 0; // bytes of the buffer framed so far
    QByteArray m_statusLine;
    QByteArray m_body; // collected as the framer passes it on
    const StreamFramer::BodySink m_sink = [this](QByteArrayView bytes) { m_body += bytes; };
};
