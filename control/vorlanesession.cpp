// Vorlane: Connect (greeting, USER, PASS, STAT) and Disconnect (QUIT).
#include "control/controlerrors.h"
#include "control/replyparser.h"
#include "control/socketcomponent.h"
#include "control/vorlane.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace {

constexpr const char* kLineBreaksNotAllowed = "Line breaks are not allowed";

// A setting "sorts after a single space" when it is neither empty nor a lone space.
bool isFilledIn(const QByteArray& value)
{
    return value > QByteArrayView(" ");
}

bool holdsLineBreak(const QByteArray& value)
{
    return value.contains('\r') || value.contains('\n');
}

} // namespace

void Vorlane::Connect()
{
    subWriteDebug("start connect");
    intError = controlerrors::None;
    wsk1->settle(); // a connection the server has closed is not "already connected"
    if (wsk1->state() == SocketComponent::Connected) {
        intError = controlerrors::AlreadyConnected;
    } else if (!isFilledIn(strPOPHostname)) {
        intError = controlerrors::HostnameBlank;
    } else if (!isFilledIn(strPOPUsername)) {
        intError = controlerrors::UsernameBlank;
    } else if (funConnectSocket() && funLogin()) {
        funReadStatistics();
    }
    if (intError != controlerrors::None) {
        subcloseconnection();
    }
    subWriteDebug("end connect");
}

bool Vorlane::funConnectSocket()
{
    blnInDataArrival = false;
    blnStreaming = false;
    datLastActivity = platform::monotonicSeconds();
    intError = controlerrors::None;
    if (!funPrepareSecurity()) {
        return false;
    }
    wsk1->setRemoteHost(strPOPHostname);
    wsk1->setRemotePort(lngPOPPort);
    subflushdata();
    m_owedReplies.clear(); // a new connection owes no replies of the old one
    m_capabilities.clear();
    strServerCapabilities.clear();
    wsk1->connectToRemote();
    strConnectResponse.clear();

    bool blnDone = false;
    while (!blnDone) {
        // The state is read after the pump, not before it: acting on a state from before the
        // pump would cost one more (idle, up to 50 ms) pump on every connect.
        platform::pumpEvents();
        const int state = wsk1->state();
        blnDone = true;
        if (state == SocketComponent::Error) {
            subWriteDebug("connect:sckError");
            subcloseconnection();
        } else if (state == SocketComponent::Connected) {
            subWriteDebug("connect:sckConnected");
            subNoteSecureSession();
            subAwaitGreeting();
        } else {
            blnDone = false;
        }
        if (!blnDone && funTimedOut(intPOPTimeout)) {
            subWriteDebug("timeout(2) in Connect");
            blnDone = true;
            intError = controlerrors::ConnectTimeout;
            subcloseconnection();
        }
    }
    subTakeSecureChannelFailure();
    return funAfterGreeting();
}

bool Vorlane::funAfterGreeting()
{
    if (intError == controlerrors::None) {
        subRefuseClosedGreeting();
    }
    const bool open =
        intError == controlerrors::None && (intPOPSecurity != SecurityStls || funNegotiateStls());
    // After STLS, not before: what a server says in clear may have been altered on the way, and
    // it may offer more over TLS (RFC 2595, 4).
    if (open && (blnPOPFewerRoundTrips || intPOPAuthentication != AuthenticationUserPass)) {
        subAskCapabilities();
    }
    return open;
}

void Vorlane::subRefuseClosedGreeting()
{
    // A server that greets and hangs up ("-ERR too many connections") leaves USER unsendable:
    // that step fails, with the server's words.
    const QByteArray greeting = strConnectResponse + "\r\n";
    if (funConnectionLost()) {
        strErrorDetail = greeting;
        intError = controlerrors::UserRefused;
    }
}

void Vorlane::subAwaitGreeting()
{
    m_blnReplyTooLong = false;
    while (!strDataBuffer.endsWith("\r\n") && intError == controlerrors::None) {
        platform::pumpEvents();
        if (m_blnReplyTooLong) {
            // A greeting without end is no greeting: the same failure as a silent server.
            intError = controlerrors::GreetingTimeout;
            subcloseconnection();
        } else if (funTimedOut(intPOPTimeout)) {
            subWriteDebug("timeout(1) in Connect");
            intError = controlerrors::GreetingTimeout;
            subcloseconnection();
            subWriteDebug("timeout(1) in connect, blnDone=True");
        }
    }
    strConnectResponse = intError == controlerrors::None ? strDataBuffer.chopped(2) : QByteArray();
    subWriteDebug("connectreponse=" + strConnectResponse);
    subflushdata();
}

bool Vorlane::funSessionStep(const QByteArray& command, const QByteArray& argument,
                             qint16 failureCode, QByteArray* reply)
{
    // A line break in a setting would let it smuggle further commands onto the wire (so a
    // pipelined login is not tried with one).
    const QByteArray answer =
        holdsLineBreak(argument)
            ? QByteArray(kLineBreaksNotAllowed)
            : funSendDataForSingleLineResponse(
                  argument.isNull() ? command : command + ' ' + argument, intPOPTimeout);
    return funTakeSessionReply(answer, failureCode, reply);
}

bool Vorlane::funTakeSessionReply(const QByteArray& answer, qint16 failureCode, QByteArray* reply)
{
    if (!replyparser::isPositive(answer)) {
        strErrorDetail = answer;
        subcloseconnection();
        intError = failureCode;
        return false;
    }
    if (reply) {
        *reply = answer;
    }
    return true;
}

bool Vorlane::funLogin()
{
    if (intPOPSecurity != SecurityNone && !wsk1->isSecure()) {
        // Never a password in clear when the host asked for a secure connection.
        strErrorDetail = "the connection is not encrypted";
        intError = controlerrors::SecureConnectionFailed;
        return false;
    }
    if (intPOPAuthentication != AuthenticationUserPass) {
        return funSaslLogin();
    }
    if (funPipelining() && !holdsLineBreak(strPOPUsername) && !holdsLineBreak(strPOPPassword)) {
        return funPipelinedLogin();
    }
    if (!funSessionStep("USER", strPOPUsername, controlerrors::UserRefused)) {
        return false;
    }
    if (strPOPPassword.isEmpty()) {
        strPOPPassword = " ";
    }
    return funSessionStep("PASS", strPOPPassword, controlerrors::PassRefused);
}

bool Vorlane::funReadStatistics()
{
    QByteArray reply;
    QByteArrayList listings; // the UIDL and LIST replies, when they came with STAT's
    if (funPipelining()) {
        listings = funSendPipelined({{"STAT", StreamFramer::Reply::SingleLine},
                                     {"UIDL", StreamFramer::Reply::MultiLine},
                                     {"LIST", StreamFramer::Reply::MultiLine}});
        if (!funTakeSessionReply(listings.takeFirst(), controlerrors::StatRefused, &reply)) {
            return false;
        }
    } else if (!funSessionStep("STAT", QByteArray(), controlerrors::StatRefused, &reply)) {
        return false;
    }
    if (funConnectionLost()) {
        // Counted and then closed: there is no session to report as connected.
        strErrorDetail = reply;
        subcloseconnection();
        intError = controlerrors::StatRefused;
        return false;
    }
    const QByteArrayView counts = replyparser::afterStatus(reply);
    const qsizetype space = counts.indexOf(' ');
    if (space < 0) {
        // No size field: the count alone, the size 0.
        lngMsgCount = replyparser::leadingNumber(counts);
        lngMsgSizeInBytes = 0;
    } else {
        lngMsgSizeInBytes = replyparser::leadingNumber(counts.sliced(space + 1));
        lngMsgCount = replyparser::leadingNumber(counts.first(space));
    }
    intStatus = 1;
    // CAPA asked for a sign-in method alone brings no listings.
    if (blnPOPFewerRoundTrips && m_capabilities.known()) {
        subFetchListings(listings);
    }
    return true;
}

void Vorlane::Disconnect()
{
    subWriteDebug("start disconnect");
    intError = controlerrors::None;
    QByteArray quitReply = "+OK";
    if (!funConnectionLost()) {
        quitReply = funSendDataForSingleLineResponse("QUIT", intPOPTimeout);
        const qint64 startedAt = platform::monotonicSeconds();
        while (wsk1->state() != SocketComponent::Error &&
               wsk1->state() != SocketComponent::Closed) {
            platform::pumpEvents();
            if (platform::monotonicSeconds() - startedAt > intPOPTimeout) {
                subWriteDebug("timeout(1) in Disconnect");
                subcloseconnection();
            }
        }
    }
    subresetvaluesondisconnect();
    if (!replyparser::isPositive(quitReply)) {
        intError = controlerrors::QuitRefused;
        strErrorDetail = quitReply;
    }
    subWriteDebug("end disconnect");
}
