// Vorlane: fewer round trips for a distant server. CAPA tells whether commands may be pipelined
// (RFC 2449); the unique ids and sizes of the whole mailbox come in one listing each; RETR brings
// the headers along. Whatever the server refuses is asked per message, as without the member.
#include "control/controlerrors.h"
#include "control/replyparser.h"
#include "control/vorlane.h"

namespace {

// What follows a multi-line reply's status line: its lines, CR LF between them.
QByteArrayView listingBody(const QByteArray& reply)
{
    const qsizetype lineEnd = reply.indexOf("\r\n");
    return lineEnd < 0 ? QByteArrayView() : QByteArrayView(reply).sliced(lineEnd + 2);
}

QByteArray firstLine(const QByteArray& reply)
{
    const qsizetype lineEnd = reply.indexOf("\r\n");
    return lineEnd < 0 ? reply : reply.first(lineEnd);
}

} // namespace

bool Vorlane::funPipelining() const
{
    return blnPOPFewerRoundTrips && m_capabilities.has("PIPELINING");
}

void Vorlane::subAskCapabilities()
{
    m_capabilities.take(funSendDataForMultiLineResponse("CAPA", intPOPTimeout));
    strServerCapabilities = m_capabilities.lines().join("\r\n");
    if (!blnPOPFewerRoundTrips) {
        return; // asked for the sign-in method alone
    }
    if (!m_capabilities.known()) {
        subWriteDebug("CAPA not answered +OK: commands one by one, UIDL and LIST per message");
    } else if (!funPipelining()) {
        subWriteDebug("no PIPELINING offered: commands one by one");
    }
}

bool Vorlane::funPipelinedLogin()
{
    const QByteArray password = strPOPPassword.isEmpty() ? QByteArray(" ") : strPOPPassword;
    const QByteArrayList replies =
        funSendPipelined({{"USER " + strPOPUsername, StreamFramer::Reply::SingleLine},
                          {"PASS " + password, StreamFramer::Reply::SingleLine}});
    // A refused USER makes PASS's reply (read, and so out of the way) no concern of anybody.
    if (!funTakeSessionReply(replies[0], controlerrors::UserRefused, nullptr)) {
        return false;
    }
    strPOPPassword = password; // as the one-by-one login leaves it
    return funTakeSessionReply(replies[1], controlerrors::PassRefused, nullptr);
}

void Vorlane::subFetchListings(const QByteArrayList& pipelinedReplies)
{
    if (pipelinedReplies.size() == 2) {
        subTakeUniqueIdListing(pipelinedReplies[0]);
        subTakeSizeListing(pipelinedReplies[1]);
    } else if (lngMsgCount > 0) {
        subTakeUniqueIdListing(funSendDataForMultiLineResponse("UIDL", intPOPTimeout));
        subTakeSizeListing(funSendDataForMultiLineResponse("LIST", intPOPTimeout));
    }
}

void Vorlane::subTakeUniqueIdListing(const QByteArray& reply)
{
    if (!replyparser::isPositive(reply)) {
        subWriteDebug("UIDL listing refused, UIDL n per message:" + firstLine(reply));
        return;
    }
    const QByteArrayView body = listingBody(reply);
    strUniqueIDList = body.toByteArray();
    m_listing.takeUniqueIds(body, lngMsgCount,
                            [this](const QByteArray& note) { subWriteDebug(note); });
}

void Vorlane::subTakeSizeListing(const QByteArray& reply)
{
    if (!replyparser::isPositive(reply)) {
        subWriteDebug("LIST listing refused, LIST n per message:" + firstLine(reply));
        return;
    }
    m_listing.takeSizes(listingBody(reply), lngMsgCount,
                        [this](const QByteArray& note) { subWriteDebug(note); });
}

void Vorlane::subTakeCapturedHeaders()
{
    if (const std::optional<QByteArray> headers = m_headerCapture.finish()) {
        strMsgHeaders = *headers;
        blnHeadersRetrieved = true;
    } else if (intError == controlerrors::None) {
        subWriteDebug("headers larger than the capture: TOP");
        subRetrieveHeaders();
    }
}
