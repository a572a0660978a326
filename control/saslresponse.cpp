#include "control/saslresponse.h"

#include "control/replyparser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace saslresponse {
namespace {

constexpr char kFieldSeparator = '\x01';

QByteArray bearerField(const QByteArray& token)
{
    return "auth=Bearer " + token + kFieldSeparator + kFieldSeparator;
}

} // namespace

QByteArray mechanismName(Mechanism mechanism)
{
    switch (mechanism) {
    case Mechanism::Plain:
        return "PLAIN";
    case Mechanism::Xoauth2:
        return "XOAUTH2";
    case Mechanism::Oauthbearer:
        return "OAUTHBEARER";
    }
    return {};
}

QByteArray gs2Escaped(QByteArrayView name)
{
    QByteArray escaped;
    escaped.reserve(name.size());
    for (const char c : name) {
        if (c == ',') {
            escaped += "=2C";
        } else if (c == '=') {
            escaped += "=3D";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::optional<QByteArray> clientResponse(Mechanism mechanism, const Credentials& credentials)
{
    const char separator = mechanism == Mechanism::Plain ? '\0' : kFieldSeparator;
    for (const QByteArray* value : {&credentials.user, &credentials.secret, &credentials.host}) {
        if (value->contains(separator)) {
            return std::nullopt;
        }
    }
    const char nul = '\0';
    switch (mechanism) {
    case Mechanism::Plain:
        return nul + credentials.user + nul + credentials.secret;
    case Mechanism::Xoauth2:
        return "user=" + credentials.user + kFieldSeparator + bearerField(credentials.secret);
    case Mechanism::Oauthbearer:
        return "n,a=" + gs2Escaped(credentials.user) + ',' + kFieldSeparator +
               "host=" + credentials.host + kFieldSeparator +
               "port=" + QByteArray::number(credentials.port) + kFieldSeparator +
               bearerField(credentials.secret);
    }
    return std::nullopt;
}

AuthCommand authCommand(Mechanism mechanism, const QByteArray& base64Response)
{
    const QByteArray command = "AUTH " + mechanismName(mechanism);
    const QByteArray withResponse = command + ' ' + base64Response;
    if (withResponse.size() + 2 <= kMaximumCommandOctets) {
        return {withResponse, true};
    }
    return {command, false};
}

QByteArray errorChallengeAnswer(Mechanism mechanism)
{
    switch (mechanism) {
    case Mechanism::Oauthbearer:
        return QByteArray(1, kFieldSeparator).toBase64();
    case Mechanism::Xoauth2:
        return "";
    case Mechanism::Plain:
        return "*";
    }
    return "*";
}

bool isContinuation(QByteArrayView reply)
{
    const QByteArrayView line = reply.endsWith("\r\n") ? replyparser::withoutLineEnd(reply) : reply;
    return line == "+" || line.startsWith("+ ");
}

QByteArray challengeText(QByteArrayView reply)
{
    if (!isContinuation(reply)) {
        return {};
    }
    const QByteArray encoded = reply.sliced(1).toByteArray().trimmed();
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? decoded.decoded : QByteArray();
}

QByteArray challengeStatus(QByteArrayView decodedChallenge)
{
    const QJsonDocument document = QJsonDocument::fromJson(decodedChallenge.toByteArray());
    const QJsonValue status = document.object().value(QLatin1String("status"));
    if (status.isString()) {
        return status.toString().toUtf8();
    }
    if (status.isDouble()) {
        return QByteArray::number(status.toInteger());
    }
    return {};
}

} // namespace saslresponse
