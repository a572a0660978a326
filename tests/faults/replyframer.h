// Finds where one POP3 reply ends in a server's byte stream, across reads of any size, so that
// the proxy can drop, cut or follow exactly that reply.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

class ReplyFramer {
public:
    // Commands whose positive reply carries a body ended by a "." line (RFC 1939).
    static bool isMultiLineCommand(QByteArrayView command);

    void start(bool multiLine);
    // Returns how many of `bytes` belong to the reply: all of them, or those up to and including
    // its end, after which finished() is true.
    qsizetype feed(QByteArrayView bytes);
    bool finished() const { return m_finished; }

private:
    qsizetype feedStatusLine(QByteArrayView bytes);

    bool m_multiLine = false;
    bool m_statusDone = false;
    bool m_finished = false;
    QByteArray m_statusStart; // the first bytes of the status line, enough to see "-ERR"
    QByteArray m_tail;        // the last bytes seen, for an end that straddles two reads
};
