// Vorlane: secure connections. TLS from the first byte (port 995, RFC 8314) or STLS after the
// greeting (RFC 2595); in both the server is verified before USER or PASS is sent.
#include "control/controlerrors.h"
#include "control/replyparser.h"
#include "control/socketcomponent.h"
#include "control/vorlane.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace {

QByteArray securityName(qint16 security)
{
    return security == Vorlane::SecurityTls ? "TLS" : "STLS";
}

} // namespace

bool Vorlane::funPrepareSecurity()
{
    wsk1->setSecureAtConnect(intPOPSecurity == SecurityTls);
    wsk1->setTlsCapable(intPOPSecurity != SecurityNone);
    wsk1->setPeerVerifyName(strPOPHostname);
    wsk1->clearExtraCaCertificates();
    strSecureConnectionInfo.clear();
    if (intPOPSecurity == SecurityNone) {
        return true;
    }
    subWriteDebug("secure connection: " + securityName(intPOPSecurity) + ", verifying " +
                  strPOPHostname + " against the system store" +
                  (strPOPCAFile.isEmpty() ? QByteArray() : " and " + strPOPCAFile));
    QByteArray reason;
    if (!strPOPCAFile.isEmpty() && !wsk1->loadExtraCaCertificates(strPOPCAFile, &reason)) {
        strErrorDetail = reason;
        intError = controlerrors::SecureConnectionFailed;
        return false;
    }
    return true;
}

void Vorlane::subTakeSecureChannelFailure()
{
    // The socket reports a failed handshake as its own error; the host sees code 32 with the
    // reason instead of a bare socket number.
    if (intError == SocketComponent::kSecureChannelError) {
        strErrorDetail = strErrorDescription;
        intError = controlerrors::SecureConnectionFailed;
        subWriteDebug("secure connection failed: " + strErrorDetail);
    }
}

void Vorlane::subNoteSecureSession()
{
    strSecureConnectionInfo = wsk1->secureSessionDescription();
    if (!strSecureConnectionInfo.isEmpty()) {
        subWriteDebug("secure connection established: " + strSecureConnectionInfo);
    }
}

bool Vorlane::funNegotiateStls()
{
    const QByteArray answer = funSendDataForSingleLineResponse("STLS", intPOPTimeout);
    if (!replyparser::isPositive(answer)) {
        strErrorDetail = answer;
        subcloseconnection();
        intError = controlerrors::StlsRefused;
        return false;
    }
    // Whatever came in clear after "+OK" could have been put there by someone on the path, so it
    // must not be taken as a reply once the channel is secure.
    subflushdata();
    subWriteDebug("starting TLS after STLS");
    if (!funAwaitSecureSession()) {
        subcloseconnection();
        intError = controlerrors::SecureConnectionFailed;
        return false;
    }
    subNoteSecureSession();
    return true;
}

bool Vorlane::funAwaitSecureSession()
{
    wsk1->startSecureSession();
    datLastActivity = platform::monotonicSeconds();
    while (!wsk1->isSecure()) {
        platform::pumpEvents();
        const int state = wsk1->state();
        if (state == SocketComponent::Error) {
            strErrorDetail = strErrorDescription;
            return false;
        }
        if (state != SocketComponent::Connected) {
            strErrorDetail = "the server closed the connection during the handshake";
            return false;
        }
        if (funTimedOut(intPOPTimeout)) {
            subWriteDebug("timeout in the TLS handshake");
            strErrorDetail = "Program determining timeout error";
            return false;
        }
    }
    return true;
}
