// Vorlane: the three command exchanges. Each sends one command line and waits, pumping the
// event loop, until its kind of reply is complete or the server has been silent too long.
#include "control/socketcomponent.h"
#include "control/streamframer.h"
#include "control/vorlane.h"
#include "platform/clock.h"
#include "platform/pump.h"

#include <algorithm>

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

void Vorlane::subOweReply(OwedReply kind, QByteArrayView partial)
{
    // A closed connection owes nothing; an open one will still deliver the reply, after which
    // the next command's reply follows.
    if (wsk1->state() != SocketComponent::Connected) {
        return;
    }
    if (m_owedReplies.isEmpty()) {
        m_owedFramer.start();
        m_owedStatusLine.clear();
    }
    m_owedReplies.append(kind);
    funDiscardOwedReplies(partial);
}

qsizetype Vorlane::funDiscardOwedReplies(QByteArrayView chunk)
{
    constexpr qsizetype kTracedLineLimit = 512;
    const StreamFramer::BodySink drop = [](QByteArrayView) {};
    qsizetype used = 0;
    while (!m_owedReplies.isEmpty() && used < chunk.size()) {
        const QByteArrayView rest = chunk.sliced(used);
        bool replyEnded = false;
        if (m_owedFramer.statusLinePending()) {
            const qsizetype taken = m_owedFramer.takeStatusLine(rest, m_owedStatusLine);
            used += taken < 0 ? rest.size() : taken;
            m_owedStatusLine.truncate(kTracedLineLimit);
            // A single-line reply, or a refusal of a multi-line command, ends with its line.
            replyEnded = taken >= 0 && (m_owedReplies.first() == OwedReply::SingleLine ||
                                        m_owedStatusLine.startsWith("-ERR"));
        } else {
            used += m_owedFramer.takeBody(rest, drop);
            replyEnded = m_owedFramer.finished();
        }
        if (replyEnded) {
            subWriteDebug("discarded late reply:" + m_owedStatusLine);
            m_owedReplies.removeFirst();
            m_owedFramer.start();
            m_owedStatusLine.clear();
        }
    }
    return used;
}

QByteArray Vorlane::funSendDataForSingleLineResponse(const QByteArray& command,
                                                     const qint16& timeout)
{
    blnStreaming = false;
    m_blnReplyTooLong = false;
    subWriteDebug("start funSendDataForSingleLineResponse");
    qsizetype lineEnd = -1;
    bool sent = funSendCommand(command);
    while (sent) {
        platform::pumpEvents();
        bool timedOut = false;
        if (funTimedOut(timeout)) {
            subWriteDebug("timeout in funSendDataForSingleLineResponse");
            subOweReply(OwedReply::SingleLine, strDataBuffer);
            strDataBuffer = kTimeoutText;
            timedOut = true;
        } else {
            lineEnd = strDataBuffer.indexOf(kLineEnd);
        }
        if (lineEnd >= 0 || timedOut || wsk1->state() == SocketComponent::Closed) {
            break;
        }
    }
    QByteArray result = strDataBuffer;
    if (m_blnReplyTooLong) {
        result = kTooLongText;
    } else if (lineEnd >= 0) {
        // The reply ends at its first line end; whatever follows answers no command.
        result = strDataBuffer.first(lineEnd + 2);
        subTraceDiscarded("after reply", QByteArrayView(strDataBuffer).sliced(lineEnd + 2));
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
    bool blnCheckFirstLine = true;
    qsizetype markerSearchFrom = 0;
    subWriteDebug("start funSendDataForMultiLineResponse");
    bool done = !funSendCommand(command);
    while (!done) {
        platform::pumpEvents();
        if (funReplyAbandoned(timeout, "funSendDataForMultiLineResponse", result)) {
            done = true;
            if (!m_blnReplyTooLong) {
                subOweReply(OwedReply::MultiLine, strDataBuffer);
            }
        } else {
            if (blnCheckFirstLine && strDataBuffer > " ") {
                const qsizetype lineEnd = strDataBuffer.indexOf(kLineEnd);
                if (lineEnd >= 0) {
                    blnCheckFirstLine = false;
                    // The status line's CR LF may begin the marker: an empty body.
                    markerSearchFrom = lineEnd;
                    if (strDataBuffer.startsWith("-ERR")) {
                        done = true;
                        result = strDataBuffer.first(lineEnd + 2);
                        subTraceDiscarded("after reply",
                                          QByteArrayView(strDataBuffer).sliced(lineEnd + 2));
                    }
                }
            }
            // The end is looked for in the same pass that examined the first line: a response
            // that arrived whole must not wait for one more (idle) pump.
            if (!done && !blnCheckFirstLine) {
                subWriteDebug("funSendDataForMultiLineResponse: (1)");
                const qsizetype marker =
                    StreamFramer::findEndMarker(strDataBuffer, markerSearchFrom);
                if (marker >= 0) {
                    done = true;
                    result = strDataBuffer.first(marker);
                    subTraceDiscarded("after reply",
                                      QByteArrayView(strDataBuffer).sliced(marker + 5));
                } else {
                    // Only the last four bytes can still start the marker.
                    markerSearchFrom = std::max(markerSearchFrom, strDataBuffer.size() - 4);
                }
            }
        }
        subWriteDebug("funSendDataForMultiLineResponse: (2)");
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
