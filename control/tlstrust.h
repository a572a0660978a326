// Which servers a TLS session trusts: the system's store, or the CA certificates of a CA file
// first and the system's store for a chain they do not vouch for. The server's certificate must
// name the peer either way.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>

class QSslError;
class QSslSocket;

class TlsTrust {
public:
    // Trusts the PEM certificates of `pemFile` beside the system's store. False, with a readable
    // reason, when the file cannot be read, is not a regular file, is larger than 10 MB or holds
    // no certificate; the trust is then unchanged.
    bool loadExtraCaCertificates(const QByteArray& pemFile, QByteArray* reason);
    void clearExtraCaCertificates();

    // Sets up `socket` for its next handshake: the peer is verified, and must be `peerName`.
    void prepare(QSslSocket& socket, const QByteArray& peerName) const;

    // Whether a handshake that reported `errors` for `chain` may go on after all: only when the
    // extra CAs were all it was checked against and their not vouching for the chain is the only
    // complaint, and the system's store vouches for it and `peerName`.
    bool acceptsDespite(const QList<QSslError>& errors, const QList<QSslCertificate>& chain,
                        const QByteArray& peerName) const;

private:
    QList<QSslCertificate> m_extraCaCertificates;
};
