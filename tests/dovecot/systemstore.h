// The system's trust store as a test stands it in: a hashed certificate directory for
// SSL_CERT_DIR, and a CA of its own that vouches for no server here.
#pragma once

#include <QString>
#include <QStringList>

namespace systemstore {

// A fresh self-signed CA at `folder`/unrelated.pem (its key beside it); its path, or empty when
// openssl failed.
QString makeUnrelatedCa(const QString& folder);

// The folder `store`, created, holding copies of `pemFiles` under the hashed names OpenSSL looks
// them up by. False when a step failed.
bool makeStore(const QString& store, const QStringList& pemFiles);

} // namespace systemstore
