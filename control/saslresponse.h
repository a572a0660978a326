// What a SASL sign-in says on the wire (RFC 5034 for POP3): the client's response for PLAIN
// (RFC 4616), XOAUTH2 (the bearer-token mechanism of Google and Microsoft) and OAUTHBEARER
// (RFC 7628), the AUTH command that carries it, and what a server's error challenge says. Pure
// byte work, apart from the socket.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace saslresponse {

enum class Mechanism { Plain, Xoauth2, Oauthbearer };

// The name CAPA lists and AUTH takes: "PLAIN", "XOAUTH2", "OAUTHBEARER".
QByteArray mechanismName(Mechanism mechanism);

struct Credentials {
    QByteArray user;
    QByteArray secret; // the password for PLAIN, the access token otherwise
    QByteArray host{}; // OAUTHBEARER names the server it signs in to
    qint32 port = 0;
};

// The client's response, before base64:
//   PLAIN        NUL user NUL password (no authorisation identity)
//   XOAUTH2      "user=" user ^A "auth=Bearer " token ^A ^A
//   OAUTHBEARER  "n,a=" user (gs2-escaped) "," ^A "host=" host ^A "port=" port ^A
//                "auth=Bearer " token ^A ^A
// Nothing when a value holds the byte that separates the fields (NUL for PLAIN, ^A for the
// others): it would let the value forge a field of its own.
std::optional<QByteArray> clientResponse(Mechanism mechanism, const Credentials& credentials);

// A name as a gs2 header carries it (RFC 5801, 4): "," as "=2C" and "=" as "=3D".
QByteArray gs2Escaped(QByteArrayView name);

// Longest AUTH command with its CR LF that may carry the response (RFC 2449, 4; RFC 5034, 4).
inline constexpr qsizetype kMaximumCommandOctets = 255;

struct AuthCommand {
    QByteArray line;      // without CR LF
    bool carriesResponse; // false: the response follows on a line of its own after "+ "
};

// "AUTH MECH BASE64" when the line with its CR LF fits in kMaximumCommandOctets, else "AUTH MECH".
AuthCommand authCommand(Mechanism mechanism, const QByteArray& base64Response);

// What a client answers an error challenge with so that the server ends the exchange: the dummy
// response "AQ==" (^A, RFC 7628, 3.2.3) for OAUTHBEARER, an empty line for XOAUTH2, and for PLAIN,
// which has no such challenge, "*" to cancel (RFC 5034, 4).
QByteArray errorChallengeAnswer(Mechanism mechanism);

// A continuation request: "+", or "+ " and a base64 text (a reply line, its CR LF allowed).
bool isContinuation(QByteArrayView reply);
// The base64 text of a continuation request, decoded; empty when it is empty or not base64.
QByteArray challengeText(QByteArrayView reply);
// The "status" member of an error challenge's JSON object (a string, or a number as digits);
// empty when there is none.
QByteArray challengeStatus(QByteArrayView decodedChallenge);

} // namespace saslresponse
