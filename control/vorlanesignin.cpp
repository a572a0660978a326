// Vorlane: signing in with SASL (RFC 5034) where USER and PASS no longer work: PLAIN (RFC 4616),
// and XOAUTH2 and OAUTHBEARER (RFC 7628) with an access token in POPPassword.
#include "control/controlerrors.h"
#include "control/replyparser.h"
#include "control/saslresponse.h"
#include "control/vorlane.h"

namespace {

// The secret part of a line is never traced, as PASS is not.
constexpr const char* kSecretForTrace = "****";

saslresponse::Mechanism mechanismOf(qint16 authentication)
{
    switch (authentication) {
    case Vorlane::AuthenticationXoauth2:
        return saslresponse::Mechanism::Xoauth2;
    case Vorlane::AuthenticationOauthbearer:
        return saslresponse::Mechanism::Oauthbearer;
    default:
        return saslresponse::Mechanism::Plain;
    }
}

} // namespace

bool Vorlane::funSaslMethodOffered(const QByteArray& mechanism)
{
    if (m_capabilities.hasArgument("SASL", mechanism)) {
        return true;
    }
    // Asking for a method the server did not list would only hand a secret to a server that
    // cannot use it.
    if (!m_capabilities.known()) {
        strErrorDetail = "no CAPA";
    } else if (m_capabilities.has("SASL")) {
        strErrorDetail = m_capabilities.lineOf("SASL");
    } else {
        strErrorDetail = "no SASL line";
    }
    subWriteDebug("sign-in method " + mechanism + " not offered: " + strErrorDetail);
    intError = controlerrors::SignInMethodNotOffered;
    return false;
}

void Vorlane::subRefuseSignIn(const QByteArray& reply, const QByteArray& status)
{
    QByteArray detail = reply.endsWith("\r\n") ? reply.chopped(2) : reply;
    if (!status.isEmpty()) {
        detail += " (status: " + status + ')';
    }
    strErrorDetail = detail;
    subcloseconnection();
    intError = controlerrors::SignInRefused;
}

bool Vorlane::funSaslLogin()
{
    const saslresponse::Mechanism mechanism = mechanismOf(intPOPAuthentication);
    const QByteArray name = saslresponse::mechanismName(mechanism);
    if (!funSaslMethodOffered(name)) {
        return false;
    }
    const std::optional<QByteArray> response = saslresponse::clientResponse(
        mechanism, {strPOPUsername, strPOPPassword, strPOPHostname, lngPOPPort});
    if (!response) {
        subRefuseSignIn(
            "a field separator in the user name or the " +
                QByteArray(mechanism == saslresponse::Mechanism::Plain ? "password" : "token"),
            {});
        return false;
    }
    const QByteArray base64 = response->toBase64();
    const saslresponse::AuthCommand command = saslresponse::authCommand(mechanism, base64);
    const QByteArray reply = funSendLineForSingleLineResponse(
        command.line,
        command.carriesResponse ? "AUTH " + name + ' ' + kSecretForTrace : command.line,
        intPOPTimeout);
    return funFinishSaslExchange(mechanism, base64, reply, command.carriesResponse);
}

bool Vorlane::funFinishSaslExchange(saslresponse::Mechanism mechanism, const QByteArray& base64,
                                    QByteArray reply, bool responseSent)
{
    QByteArray status;
    bool errorAnswered = false;
    while (!replyparser::isPositive(reply)) {
        // After an answered error challenge the server owes its verdict, not another challenge.
        if (!saslresponse::isContinuation(reply) || errorAnswered) {
            subRefuseSignIn(reply, status);
            return false;
        }
        if (!responseSent) {
            // The empty challenge of a client-first mechanism: the server asks for the response.
            responseSent = true;
            reply = funSendLineForSingleLineResponse(base64, kSecretForTrace, intPOPTimeout);
            continue;
        }
        const QByteArray challenge = saslresponse::challengeText(reply);
        subWriteDebug("SASL error challenge:" + challenge);
        status = saslresponse::challengeStatus(challenge);
        errorAnswered = true;
        reply = funSendDataForSingleLineResponse(saslresponse::errorChallengeAnswer(mechanism),
                                                 intPOPTimeout);
    }
    return true;
}
