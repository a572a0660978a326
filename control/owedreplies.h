// Replies owed by exchanges that gave up waiting for them, oldest first. Each is dropped as it
// comes, so that every later reply lines up with the command that asked for it.
#pragma once

#include "control/streamframer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <functional>

class OwedReplies {
public:
    // Receives the status line of every reply dropped (at most 512 bytes of it).
    using DroppedHandler = std::function<void(const QByteArray& statusLine)>;

    explicit OwedReplies(DroppedHandler onDropped) : m_onDropped(std::move(onDropped)) {}

    bool isEmpty() const { return m_kinds.isEmpty(); }
    // Owes nothing any more: a new connection does not deliver the old one's replies.
    void clear() { m_kinds.clear(); }
    // One more reply of `kind` is owed; `partial` is what had come of it when its wait ended.
    void owe(StreamFramer::Reply kind, QByteArrayView partial);
    // Drops the owed replies' bytes at the start of `chunk`. Returns how many bytes that was: all
    // of them, or fewer once nothing more is owed (the rest answers a later command).
    qsizetype discard(QByteArrayView chunk);

private:
    void startOldest();

    DroppedHandler m_onDropped;
    QList<StreamFramer::Reply> m_kinds;
    StreamFramer m_framer; // frames the oldest
    QByteArray m_statusLine;
};
