// One user's Maildir on the fixture's Dovecot: filling it as a delivery agent would, and looking
// at what the server left in it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dovecot {

// File work only, synchronous; errors throw DovecotError. Files are owned by uid and gid 65534,
// the mail user of the fixture.
class Mailbox {
public:
    Mailbox(QString user, QString password, QString maildir);

    const QString& user() const { return m_user; }
    const QString& password() const { return m_password; }
    const QString& maildir() const { return m_maildir; }

    // Stores a message with LF line ends, as Dovecot keeps mail (CR LF in rfc822 becomes LF; the
    // server sends CR LF again). Returns the file's base name, which is the message's UIDL on the
    // fixture. Messages are numbered in the order they were added.
    QByteArray addMessage(const QByteArray& rfc822) const;

    // Stores these exact bytes, for messages whose stored form matters (CR LF, no final LF).
    QByteArray addStoredMessage(const QByteArray& bytes) const;

    // Absolute paths of the messages in new/ and cur/, sorted. Dovecot moves a message it has
    // opened from new/ to cur/ and appends flags (":2,S") to its name.
    QStringList messageFiles() const;
    qsizetype messageCount() const { return messageFiles().size(); }
    bool containsMessage(const QByteArray& uidl) const;

private:
    QString m_user;
    QString m_password;
    QString m_maildir;
};

} // namespace dovecot
