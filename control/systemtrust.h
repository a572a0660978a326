// Whether the system's trust store vouches for a server's certificate chain and name, looked up
// in its hashed certificate directory on demand (only the issuers the chain needs are read).
#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>

namespace systemtrust {

// `chain` starts with the server's own certificate; `peerName` is a DNS name or an IP address
// the certificate must name. SSL_CERT_DIR, when set, names the directories to look in instead
// of OpenSSL's default.
bool vouchesFor(const QList<QSslCertificate>& chain, const QByteArray& peerName);

} // namespace systemtrust
