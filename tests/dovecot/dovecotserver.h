// The Dovecot POP3 server that a CTest fixture (dovecot-fixture.sh) started for the running test,
// and the creation of users with their own mailboxes on it.
#pragma once

#include "tests/dovecot/mailbox.h"

#include <QString>
#include <QStringView>

namespace dovecot {

// Everything here is synchronous file work; nothing talks to the server. Errors throw
// DovecotError.
class DovecotServer {
public:
    // The fixture named by VORLANE_DOVECOT_DIR, which vorlane_use_dovecot() sets on a test.
    static DovecotServer fromEnvironment();

    // The fixture whose state folder is stateDir; it must be running.
    explicit DovecotServer(const QString& stateDir);

    const QString& stateDir() const { return m_stateDir; }
    const QString& address() const { return m_address; }
    quint16 port() const { return m_port; }
    // With TLS: the implicit-TLS port and the CA that signed the server's certificate; 0 and ""
    // for a fixture without TLS.
    quint16 tlsPort() const { return m_tlsPort; }
    const QString& caFile() const { return m_caFile; }
    // What the server has logged so far (logins and their attempts among it).
    QByteArray log() const;

    // A user name no other test of any process uses: the hint reduced to the characters Dovecot
    // accepts in a user name, then the process id and a counter.
    static QString uniqueUserName(QStringView hint);

    // Adds the user with an empty Maildir; the user can log in at once (each user has a
    // passwd-file of its own, which Dovecot reads at the user's first login). Throws when the user
    // exists or the name or password cannot be stored (a ':' or a line break, or a name with
    // characters Dovecot refuses).
    Mailbox createMailbox(const QString& user, const QString& password) const;

    // The same for uniqueUserName(hint), with a password of its own.
    Mailbox createMailbox(QStringView hint) const;

    // An OAuth bearer token the server takes for `subject`: a JWT signed HS256 with the fixture's
    // key, valid from a minute ago until `lifetimeSeconds` from now (a negative lifetime gives
    // one that has expired).
    QByteArray bearerToken(const QString& subject, qint64 lifetimeSeconds = 3600) const;

private:
    QString m_stateDir;
    QString m_address;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    QString m_caFile;
};

} // namespace dovecot
