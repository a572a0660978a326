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
    wsk1->setLocalPort(0);
    wsk1->setRemoteHost(strPOPHostname);
    wsk1->setRemotePort(lngPOPPort);
    subflushdata();
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
    return intError == controlerrors::None;
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
    // A line break in a setting would let it smuggle further commands onto the wire.
    const QByteArray answer =
        holdsLineBreak(argument)
            ? QByteArray(kLineBreaksNotAllowed)
            : funSendDataForSingleLineResponse(
                  argument.isNull() ? command : command + ' ' + argument, intPOPTimeout);
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
    if (!funSessionStep("STAT", QByteArray(), controlerrors::StatRefused, &reply)) {
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
    return true;
}

void Vorlane::Disconnect()
{
    subWriteDebug("start disconnect");
    intError = controlerrors::None;
    QByteArray quitReply = "+OK";
    if (wsk1->state() == SocketComponent::Connected) {
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
