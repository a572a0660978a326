// Vorlane: selecting a message (UIDL at once) and the lazy LIST and TOP fetches.
#include "control/controlerrors.h"
#include "control/headersearch.h"
#include "control/replyparser.h"
#include "control/socketcomponent.h"
#include "control/vorlane.h"

namespace {

constexpr const char* kUnableToRetrieve = "Unable to retrieve";

} // namespace

void Vorlane::SetCurrentMsg(qint16& intMsgNumberArgument)
{
    blnNoSuchMsg = false;
    blnSizeRetrieved = false;
    blnHeadersRetrieved = false;
    subWriteDebug("start setcurrentmsg");
    strMsgContents.clear();
    const qint16 previous = intMsgNumber;
    intError = controlerrors::None;
    if (intStatus != 1) {
        intError = controlerrors::SelectWhenDisconnected;
        subWriteDebug("end setcurrentmsg");
        return;
    }
    if (intMsgNumberArgument == 0) {
        intMsgNumberArgument = previous;
    } else {
        intMsgNumber = intMsgNumberArgument;
    }
    const qint16 number = intMsgNumberArgument;
    QByteArray reply;
    if (number <= 0 || number > lngMsgCount) {
        intMsgNumber = previous;
        intError = controlerrors::MessageNumberOutOfRange;
    } else if (const std::optional<QByteArray> listed = funListedUniqueId()) {
        strMsgUniqueID = *listed;
    } else {
        reply = funSendDataForSingleLineResponse("UIDL " + QByteArray::number(intMsgNumber),
                                                 intPOPTimeout);
        if (replyparser::isPositive(reply)) {
            strMsgUniqueID = replyparser::withoutLineEnd(
                                 replyparser::afterFirstSpace(replyparser::afterStatus(reply)))
                                 .toByteArray();
        } else {
            intError = controlerrors::UidlRefused;
            strErrorDetail = reply;
        }
    }
    if (intError == controlerrors::UidlRefused) {
        subApplyNoSuchRule(reply);
    } else if (intError != controlerrors::None) {
        subcloseconnection();
    }
    subWriteDebug("end setcurrentmsg");
}

void Vorlane::subApplyNoSuchRule(const QByteArray& reply)
{
    // A message the server does not know stays selected, with marker texts, instead of ending
    // the session.
    if (reply.toUpper().contains("NO SUCH")) {
        blnNoSuchMsg = true;
        intError = controlerrors::None;
        strMsgUniqueID = kUnableToRetrieve;
        strMsgHeaders = kUnableToRetrieve;
        strMsgContents = kUnableToRetrieve;
    } else {
        subcloseconnection();
    }
}

QByteArray Vorlane::MsgUniqueID() const
{
    if (strMsgUniqueID == kUnableToRetrieve) {
        return strPOPUsername + ':' + strPOPHostname + ':' + QByteArray::number(intMsgNumber);
    }
    return strMsgUniqueID;
}

qint32 Vorlane::MsgSizeInK()
{
    if (!blnSizeRetrieved && intStatus == 1) {
        subRetrieveSize();
    }
    return lngMsgSizeInK;
}

std::optional<QByteArray> Vorlane::funListedUniqueId() const
{
    return blnPOPFewerRoundTrips ? m_listing.uniqueId(intMsgNumber) : std::nullopt;
}

void Vorlane::subRetrieveSize()
{
    subWriteDebug("start subRetrieveSize");
    if (const std::optional<qint32> listed =
            blnPOPFewerRoundTrips ? m_listing.sizeInBytes(intMsgNumber) : std::nullopt) {
        subTakeSize(*listed);
    } else {
        const QByteArray reply = funSendDataForSingleLineResponse(
            "LIST " + QByteArray::number(intMsgNumber), intPOPTimeout);
        if (replyparser::isPositive(reply)) {
            subTakeSize(replyparser::leadingNumber(replyparser::withoutLineEnd(
                replyparser::afterFirstSpace(replyparser::afterStatus(reply)))));
        } else {
            intError = controlerrors::ListRefused;
            strErrorDetail = reply;
        }
    }
    blnSizeRetrieved = true;
    subWriteDebug("end subRetrieveSize");
}

void Vorlane::subTakeSize(qint32 octets)
{
    lngMsgSizeInBytes = octets;
    // Not a rounded-up division: 1024 octets are 2 K.
    lngMsgSizeInK = lngMsgSizeInBytes / 1024 + 1;
}

void Vorlane::subRetrieveHeaders()
{
    subWriteDebug("start subRetrieveHeaders");
    const QByteArray number = QByteArray::number(intMsgNumber);
    QByteArray reply = funSendDataForMultiLineResponse("TOP " + number + " 0", intPOPTimeout);
    if (!replyparser::isPositive(reply) && wsk1->state() == SocketComponent::Connected) {
        // Some servers refuse a line count of 0 but accept TOP with the number alone.
        reply = funSendDataForMultiLineResponse("TOP " + number, intPOPTimeout);
    }
    if (!replyparser::isPositive(reply)) {
        intError = controlerrors::TopRefused;
        strErrorDetail = reply;
    } else {
        const qsizetype lineEnd = reply.indexOf("\r\n");
        strMsgHeaders = lineEnd < 0
                            ? QByteArray()
                            : headersearch::trimSpaces(QByteArrayView(reply).sliced(lineEnd + 2));
    }
    if (intError == controlerrors::UidlRefused || intError == controlerrors::TopRefused) {
        subApplyNoSuchRule(reply);
    }
    blnHeadersRetrieved = true;
    subWriteDebug("end subRetrieveHeaders");
}
