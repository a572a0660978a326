#include "control/tlstrust.h"

#include "control/systemtrust.h"
#include "platform/regularfile.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <algorithm>

namespace {

// The complaints that mean only "the CAs checked against do not vouch for this chain".
bool isUntrustedIssuer(const QSslError& error)
{
    switch (error.error()) {
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted:
        return true;
    default:
        return false;
    }
}

} // namespace

bool TlsTrust::loadExtraCaCertificates(const QByteArray& pemFile, QByteArray* reason)
{
    // A bundle of every public CA is a few hundred K; more is no CA file, and a FIFO or a device
    // would hang Connect or feed it without end.
    constexpr qint64 kLimit = 10 * 1024 * 1024;
    const QString path = QFile::decodeName(pemFile);
    QString why;
    const std::optional<QByteArray> pem = platform::readRegularFile(path, kLimit, &why);
    if (!pem) {
        *reason = platform::cannotRead(QStringLiteral("CA file"), path, why).toUtf8();
        return false;
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(*pem);
    if (certificates.isEmpty()) {
        *reason = "No PEM certificate in CA file " + pemFile;
        return false;
    }
    m_extraCaCertificates = certificates;
    return true;
}

void TlsTrust::clearExtraCaCertificates()
{
    m_extraCaCertificates.clear();
}

void TlsTrust::prepare(QSslSocket& socket, const QByteArray& peerName) const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!m_extraCaCertificates.isEmpty()) {
        // The extra CAs alone. Setting any CA list turns off Qt's on-demand lookup in the
        // system's store, and parsing the whole store instead costs a tenth of a second of CPU
        // per connection, more than the handshake; a chain they do not vouch for goes to the
        // system's store after all (acceptsDespite()).
        configuration.setCaCertificates(m_extraCaCertificates);
    }
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    socket.setSslConfiguration(configuration);
    socket.setPeerVerifyName(QString::fromLatin1(peerName));
}

bool TlsTrust::acceptsDespite(const QList<QSslError>& errors, const QList<QSslCertificate>& chain,
                              const QByteArray& peerName) const
{
    // Any other fault (name, dates, a broken chain) stands as it is. Qt's own
    // QSslCertificate::verify() would look in the default configuration's CA list only, which
    // stays empty while Qt looks up the system's store on demand.
    return !m_extraCaCertificates.isEmpty() && !errors.isEmpty() &&
           std::all_of(errors.begin(), errors.end(), isUntrustedIssuer) &&
           systemtrust::vouchesFor(chain, peerName);
}
