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
    // The password never reaches the trace file.
    if (command.startsWith("PASS ")) {
        return "PASS ****";
    }
    return command;
}

bool Vorlane::funConnectionLost()
{
    // Qt may have seen the server's close before the component announced it.
    wsk1->settle();
    return wsk1->state() != SocketComponent::Connected;
}

bool Vorlane::funSendCommand(const QByteArray& command)
{
    const bool lost = funConnectionLost();
    subDiscardUnsolicited(); // after the settle, which may have delivered more of it
    if (lost) {
        subWriteDebug("Not sent, connection closed:" + funCommandForTrace(command));
        return false;
    }
    datLastActivity = platform::monotonicSeconds();
    subWriteDebug("Sending command:" + funCommandForTrace(command));
    if (!wsk1->sendData(command + kLineEnd)) {
        subWriteDebug("send failed, connection closed");
        subcloseconnection();
        return false;
    }
    return true;
}

void Vorlane::subDiscardUnsolicited()
{
    // The control never pipelines, so nothing that waits before a command is its reply.
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
    blnStreaming = false;
    m_blnReplyTooLong = false;
    subWriteDebug("start funSendDataForSingleLineResponse");
    BufferedReply reply(StreamFramer::Reply::SingleLine);
    bool ended = false;
    bool sent = funSendCommand(command);
    while (sent) {
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
    QByteArray result = strDataBuffer;
    if (m_blnReplyTooLong) {
        result = kTooLongText;
    } else if (ended) {
        // Whatever follows the reply's line answers no command.
        result = reply.text();
        subTraceDiscarded("after reply", reply.after(strDataBuffer));
    } else if (result.isEmpty()) {
        result = kClosedText;
    }
    subflushdata();
    wsk1->settle();
    subWriteDebug("end funSendDataForSingleLineResponse");
    return result;
}

QByteArray Vorlane::funSendDataForMultiLineResponse(const QByteArray& command,
                                                    const qint16& timeout)
{
    blnStreaming = false;
    m_blnReplyTooLong = false;
    QByteArray result = kClosedText;
    BufferedReply reply(StreamFramer::Reply::MultiLine);
    subWriteDebug("start funSendDataForMultiLineResponse");
    bool done = !funSendCommand(command);
    while (!done) {
        platform::pumpEvents();
        if (funReplyAbandoned(timeout, "funSendDataForMultiLineResponse", result)) {
            done = true;
            if (!m_blnReplyTooLong) {
                subOweReply(StreamFramer::Reply::MultiLine, strDataBuffer);
            }
        } else if (reply.ended(strDataBuffer)) {
            // A refusal ends with its line, anything else with the end marker; whatever follows
            // answers no command.
            done = true;
            result = reply.text();
            subTraceDiscarded("after reply", reply.after(strDataBuffer));
        }
    }
    subflushdata();
    wsk1->settle();
    subWriteDebug("end funSendDataForMultiLineResponse");
    return result;
}

QByteArray Vorlane::funSendDataForStreamingToAFile(const QByteArray& command, const qint16& timeout)
{
    subWriteDebug("start funSendDataForStreamingToAFile");
    blnStreaming = true;
    blnStreamFirstLinePending = true;
    strStreamFirstLine.clear();
    m_streamWriteResult = messagefile::Result::Done;
    m_streamPieces.clear();
    m_streamFramer.start();
    m_blnReplyTooLong = false;
    bool done = false;
    if (!funSendCommand(command)) {
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
