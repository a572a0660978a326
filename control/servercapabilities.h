// What a server said it can do in its CAPA reply (RFC 2449), kept in one place for every step of
// a session that depends on it.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

class ServerCapabilities {
public:
    // Forgets them: a new connection, or a channel that became secure (RFC 2595: what was said in
    // clear may have been altered, and a server may offer more over TLS).
    void clear();
    // From a "+OK" CAPA reply as the multi-line exchange returns it; a refused or failed CAPA
    // leaves none (RFC 2449: the server then has no capabilities worth using).
    void take(const QByteArray& capaReply);

    // CAPA was answered "+OK" on this connection.
    bool known() const { return m_known; }
    // The capability's tag appears, as the first word of a line, in any letter case.
    bool has(QByteArrayView tag) const { return !lineOf(tag).isNull(); }
    // The first line whose first word is `tag` (any letter case), as sent; null when none is.
    QByteArray lineOf(QByteArrayView tag) const;
    // `argument` is one of the words after the capability's tag (a SASL mechanism), in any
    // letter case.
    bool hasArgument(QByteArrayView tag, QByteArrayView argument) const;
    // The capability lines as the server sent them, without line ends.
    const QByteArrayList& lines() const { return m_lines; }

private:
    bool m_known = false;
    QByteArrayList m_lines;
};
