// How a connection to the mailbox is secured: the words the stored "Security" setting and the
// settings program take, the control's POPSecurity value for each and the port each connects to.
#pragma once

#include <QString>
#include <optional>

// The values are the control's POPSecurity.
enum class ConnectionSecurity : qint16 { None = 0, StartTls = 1, Tls = 2 };

inline constexpr qint32 kPop3Port = 110;
// Implicit TLS has a port of its own (RFC 8314); STLS upgrades the plain one.
inline constexpr qint32 kPop3sPort = 995;

// "none", "starttls" or "tls".
QString securityWord(ConnectionSecurity security);
// The mode of a word as securityWord() gives it, in that case exactly; nothing for another word.
std::optional<ConnectionSecurity> securityNamed(const QString& word);
qint32 securityPort(ConnectionSecurity security);
// "none, starttls or tls", for help texts and refusals.
QString securityWordList();
