// Test messages for the fixture's mailboxes, and what Dovecot makes of them on the wire.
#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace dovecot {

// Header lines (without line ends), an empty line, then the body as given, all with LF line ends.
QByteArray makeMessage(const QByteArrayList& headerLines, const QByteArray& body);

// A message with LF line ends whose size in LIST is exactly `pop3Size` octets. The body has
// lines that begin with "." or ".." and bytes 0x80 to 0xFF; `seed` varies the content. Throws
// DovecotError below the size of its headers (about 150 octets).
QByteArray makeMessageOfSize(qint64 pop3Size, int seed = 0);

// The size Dovecot reports in LIST and STAT for a stored message: every LF counts as CR LF.
// Dot-stuffing is not counted.
qint64 pop3Size(const QByteArray& stored);

// What RawPop3::retrBody() receives for a stored message: LF sent as CR LF, lines beginning with
// "." doubled, and the last line end (or the one Dovecot adds when the message has none) left out.
QByteArray pop3Body(const QByteArray& stored);

} // namespace dovecot
