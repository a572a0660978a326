// Vorlane: marking the current message for deletion (DELE) and clearing the marks (RSET). The
// server removes marked messages only when the session ends with QUIT.
#include "control/controlerrors.h"
#include "control/replyparser.h"
#include "control/vorlane.h"

void Vorlane::DeleteCurrentMsg()
{
    subWriteDebug("start deletecurrentmessage");
    intError = controlerrors::None;
    if (intStatus == 1) {
        const QByteArray reply = funSendDataForSingleLineResponse(
            "DELE " + QByteArray::number(intMsgNumber), intPOPTimeout);
        if (!replyparser::isPositive(reply)) {
            intError = controlerrors::DeleRefused;
            strErrorDetail = reply;
        } else {
            // From now on the server refuses the message's number, as UIDL n and LIST n would
            // tell; the listing must not answer for it instead.
            m_listing.forget(intMsgNumber);
        }
    } else {
        intError = controlerrors::DeleteWhenDisconnected;
    }
    subWriteDebug("end deletecurrentmessage");
}

void Vorlane::ResetDeletedMsgs()
{
    subWriteDebug("start resetdeletedmessages");
    intError = controlerrors::None;
    if (intStatus == 1) {
        const QByteArray reply = funSendDataForSingleLineResponse("RSET", intPOPTimeout);
        if (!replyparser::isPositive(reply)) {
            intError = controlerrors::RsetRefused;
            strErrorDetail = reply;
        }
    } else {
        intError = controlerrors::ResetWhenDisconnected;
    }
    subWriteDebug("end resetdeletedmessages");
}
