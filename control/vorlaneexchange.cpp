// Vorlane: the three command exchanges. Each sends one command line and waits, pumping the
// event loop, until its kind of reply is complete or the server has been silent too long.
#include "control/bufferedreply.h"
#include "control/socketcomponent.h"
#include "control/streamframer.h"
#include "control/vorlane.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace {

constexpr const char* kTimeoutText = "Program determining timeout error";
constexpr const char* kTooLongText = "Reply from server too long";
// The detail of a step the server cut short by closing the connection without a word.
constexpr const char* kClosedText = "Connection closed by server";
constexpr const char* kLineEnd = "\r\n";

} // namespace

bool Vorlane::funTimedOut(const qint16& timeout) const
{
    // A limit on silence: datLastActivity moves with every command sent and every arrival.
    return platform::monotonicSeconds() - datLastActivity > timeout;
}

bool Vorlane::funReplyAbandoned(const qint16& timeout, const char* waitName, QByteArray& result)
{
    if (m_blnReplyTooLong) {
        result = kTooLongText;
        return true;
    }
    if (funTimedOut(timeout)) {
        subWriteDebug(QByteArray("timeout in ") + waitName);
        result = kTimeoutText;
        return true;
    }
    return false;
}

QByteArray Vorlane::funCommandForTrace(const QByteArray& command) const
{
    // The password never reaches the trace file, nor a SASL response that carries it or a token.
    if (command.startsWith("PASS ")) {
        return "PASS ****";
    }
    const qsizetype response = command.startsWith("AUTH ") ? command.indexOf(' ', 5) : -1;
    if (response > 0) {
        return command.first(response) + " ****";
    }
    return command;
}

bool Vorlane::funConnectionLost()
{
    // Qt may have seen the server's close before the component announced it.
    wsk1->settle();
    return wsk1->state() != SocketComponent::Connected;
}

bool Vorlane::funSendCommand(const QByteArray& command, const QByteArray& traceText)
{
    const bool lost = funConnectionLost();
    subDiscardUnsolicited(); // after the settle, which may have delivered more of it
    if (lost) {
        subWriteDebug("Not sent, connection closed:" + traceText);
        return false;
    }
    datLastActivity = platform::monotonicSeconds();
    subWriteDebug("Sending command:" + traceText);
    if (!wsk1->sendData(command + kLineEnd)) {
        subWriteDebug("send failed, connection closed");
        subcloseconnection();
        return false;
    }
    return true;
}

void Vorlane::subDiscardUnsolicited()
{
    // Every reply of a pipelined burst is read before the next command goes, so nothing that
    // waits before a command is its reply.
    if (!strDataBuffer.isEmpty()) {
        subTraceDiscarded("unsolicited", strDataBuffer);
        strDataBuffer.clear();
    }
}

void Vorlane::subTraceDiscarded(const char* what, QByteArrayView bytes)
{
    if (!bytes.isEmpty()) {
        subWriteDebug(QByteArray("discarded ") + what + ':' + bytes.toByteArray());
    }
}

void Vorlane::subOweReply(StreamFramer::Reply kind, QByteArrayView partial)
{
    // A closed connection owes nothing; an open one will still deliver the reply, after which
    // the next command's reply follows.
    if (wsk1->state() == SocketComponent::Connected) {
        m_owedReplies.owe(kind, partial);
    }
}

QByteArray Vorlane::funSendDataForSingleLineResponse(const QByteArray& command,
                                                     const qint16& timeout)
{
    return funSendLineForSingleLineResponse(command, funCommandForTrace(command), timeout);
}

QByteArray Vorlane::funSendLineForSingleLineResponse(const QByteArray& line,
                                                     const QByteArray& traceText,
                                                     const qint16& timeout)
{
    blnStreaming = false;
    m_blnReplyTooLong = false;
    subWriteDebug("start funSendDataForSingleLineResponse");
    const QByteArray result = funSendCommand(line, traceText)
                                  ? funAwaitSingleLineResponse(timeout, false)
                                  : funEndSingleLineWait(false, false);
    subWriteDebug("end funSendDataForSingleLineResponse");
    return result;
}

QByteArray Vorlane::funAwaitSingleLineResponse(const qint16& timeout, bool keepWhatFollows,
                                               bool* replyEnded)
{
    BufferedReply reply(StreamFramer::Reply::SingleLine);
    // A pipelined reply may have come whole with the one before it: a pump would then wait for
    // nothing (up to its 50 ms).
    bool ended = reply.ended(strDataBuffer);
    while (!ended) {
        platform::pumpEvents();
        bool timedOut = false;
        if (funTimedOut(timeout)) {
            subWriteDebug("timeout in funSendDataForSingleLineResponse");
            subOweReply(StreamFramer::Reply::SingleLine, strDataBuffer);
            strDataBuffer = kTimeoutText;
            timedOut = true;
        } else {
            ended = reply.ended(strDataBuffer);
        }
        if (ended || timedOut || wsk1->state() == SocketComponent::Closed) {
            break;
        }
    }
    if (replyEnded) {
        *replyEnded = ended && !m_blnReplyTooLong;
    }
    return funEndSingleLineWait(ended, keepWhatFollows, &reply);
}

QByteArray Vorlane::funEndSingleLineWait(bool ended, bool keepWhatFollows,
                                         const BufferedReply* reply)
{
    QByteArray result = strDataBuffer;
    QByteArray following;
    if (m_blnReplyTooLong) {
        result = kTooLongText;
    } else if (ended) {
        result = reply->text();
        following = reply->after(strDataBuffer).toByteArray();
    } else if (result.isEmpty()) {
        result = kClosedText;
    }
    subKeepOrDiscard(following, keepWhatFollows);
    return result;
}

void Vorlane::subKeepOrDiscard(const QByteArray& following, bool keepWhatFollows)
{
    if (keepWhatFollows) {
        // The start of the next pipelined reply.
        strDataBuffer = following;
    } else {
        // Whatever follows the reply answers no command.
        subTraceDiscarded("after reply", following);
        subflushdata();
    }
    wsk1->settle();
}

QByteArray Vorlane::funSendDataForMultiLineResponse(const QByteArray& command,
                                                    const qint16& timeout)
{
    blnStreaming = false;
    m_blnReplyTooLong = false;
    subWriteDebug("start funSendDataForMultiLineResponse");
    QByteArray result = kClosedText;
    if (funSendCommand(command, funCommandForTrace(command))) {
        result = funAwaitMultiLineResponse(timeout, false);
    } else {
        subKeepOrDiscard({}, false);
    }
    subWriteDebug("end funSendDataForMultiLineResponse");
    return result;
}

QByteArray Vorlane::funAwaitMultiLineResponse(const qint16& timeout, bool keepWhatFollows,
                                              bool* replyEnded)
{
    QByteArray result = kClosedText;
    BufferedReply reply(StreamFramer::Reply::MultiLine);
    // A pipelined reply may have come whole with the one before it: a pump would then wait for
    // nothing (up to its 50 ms).
    bool ended = reply.ended(strDataBuffer);
    bool abandoned = false;
    while (!ended && !abandoned) {
        platform::pumpEvents();
        if (funReplyAbandoned(timeout, "funSendDataForMultiLineResponse", result)) {
            abandoned = true;
            if (!m_blnReplyTooLong) {
                subOweReply(StreamFramer::Reply::MultiLine, strDataBuffer);
            }
        } else {
            // A refusal ends with its line, anything else with the end marker.
            ended = reply.ended(strDataBuffer);
        }
    }
    QByteArray following;
    if (ended) {
        result = reply.text();
        following = reply.after(strDataBuffer).toByteArray();
    }
    if (replyEnded) {
        *replyEnded = ended;
    }
    subKeepOrDiscard(following, keepWhatFollows);
    return result;
}

bool Vorlane::funSendCommands(const QByteArrayList& commands)
{
    const bool lost = funConnectionLost();
    subDiscardUnsolicited();
    QByteArray burst;
    for (const QByteArray& command : commands) {
        subWriteDebug((lost ? "Not sent, connection closed:" : "Sending command:") +
                      funCommandForTrace(command));
        burst += command + kLineEnd;
    }
    if (lost) {
        return false;
    }
    datLastActivity = platform::monotonicSeconds();
    // One write, so that the commands travel together (RFC 2449, 6.6).
    if (!wsk1->sendData(burst)) {
        subWriteDebug("send failed, connection closed");
        subcloseconnection();
        return false;
    }
    return true;
}

QByteArrayList Vorlane::funSendPipelined(const QList<PipelinedCommand>& commands)
{
    blnStreaming = false;
    m_blnReplyTooLong = false;
    subWriteDebug("start funSendPipelined");
    QByteArrayList lines;
    for (const PipelinedCommand& command : commands) {
        lines.append(command.line);
    }
    QByteArrayList replies;
    if (!funSendCommands(lines)) {
        while (replies.size() < commands.size()) {
            replies.append(kClosedText);
        }
    }
    while (replies.size() < commands.size()) {
        const bool last = replies.size() + 1 == commands.size();
        const StreamFramer::Reply kind = commands[replies.size()].kind;
        bool ended = false;
        replies.append(kind == StreamFramer::Reply::SingleLine
                           ? funAwaitSingleLineResponse(intPOPTimeout, !last, &ended)
                           : funAwaitMultiLineResponse(intPOPTimeout, !last, &ended));
        if (!ended) {
            // The rest will not come in time, if at all: each is owed, and fails as this one did.
            for (qsizetype i = replies.size(); i < commands.size(); ++i) {
                subOweReply(commands[i].kind, {});
                replies.append(replies.last());
            }
            strDataBuffer.clear();
        }
    }
    subWriteDebug("end funSendPipelined");
    return replies;
}

QByteArray Vorlane::funSendDataForStreamingToAFile(const QByteArray& command, const qint16& timeout)
{
    subWriteDebug("start funSendDataForStreamingToAFile");
    blnStreaming = true;
    blnStreamFirstLinePending = true;
    strStreamFirstLine.clear();
    m_streamWriteResult = messagefile::Result::Done;
    m_streamPieces.clear();
    // A refusal is a reply like any other: waiting for an end marker that never comes would cost
    // the whole timeout and then the session, with every deletion mark of it.
    m_streamFramer.start(StreamFramer::Reply::MultiLine);
    m_blnReplyTooLong = false;
    bool done = false;
    if (!funSendCommand(command, funCommandForTrace(command))) {
        blnStreaming = false;
        strStreamFirstLine = kClosedText;
        done = true;
    }
    while (!done) {
        platform::pumpEvents();
        if (funReplyAbandoned(timeout, "funSendDataForStreamingToAFile", strStreamFirstLine)) {
            done = true;
        } else if (!blnStreaming) {
            done = true;
        }
    }
    subNoteStreamWrite(m_streamOut.close());
    const QByteArray result = strStreamFirstLine;
    subflushdata();
    wsk1->settle();
    subWriteDebug("end funSendDataForStreamingToAFile");
    return result;
}
