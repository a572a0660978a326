// Whether the system's trust store vouches for a server's certificate chain and name, looked up
// in its hashed certificate directory on demand (only the issuers the chain needs are read).
// OpenSSL does the check. The shipped library takes it from its companion VRLN401trust.so, loaded
// only when a server's chain needs it, so that a host which never meets one loads no libcrypto.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>

namespace systemtrust {

// `chain` starts with the server's own certificate; `peerName` is a DNS name or an IP address
// the certificate must name. SSL_CERT_DIR, when set, names the directories to look in instead
// of OpenSSL's default. False also when the check cannot be loaded (the reason on stderr).
bool vouchesFor(const QList<QSslCertificate>& chain, const QByteArray& peerName);

} // namespace systemtrust

// The companion's file name and its one entry point, with vouchesFor()'s signature.
inline constexpr char kSystemTrustModule[] = "VRLN401trust.so";
inline constexpr char kSystemTrustEntryPoint[] = "VorlaneSystemTrustVouchesFor";
using SystemTrustEntry = bool (*)(const QList<QSslCertificate>& chain, const QByteArray& peerName);
