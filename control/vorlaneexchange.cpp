// Vorlane: the three command exchanges. Each sends one command line and waits, pumping the
// event loop, until its kind of reply is complete or the server has been silent too long.
#include "control/socketcomponent.h"
#include "control/vorlane.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace {

constexpr const char* kTimeoutText = "Program determining timeout error";
constexpr const char* kTooLongText = "Reply from server too long";
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kMultiLineEnd = "\r\n.\r\n";

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

void Vorlane::subSendCommand(const QByteArray& command)
{
    datLastActivity = platform::monotonicSeconds();
    subWriteDebug("Sending command:" + funCommandForTrace(command));
    if (!wsk1->sendData(command + kLineEnd)) {
        throw ControlFault{SocketComponent::kBadStateError, SocketComponent::kBadStateText};
    }
}

QByteArray Vorlane::funSendDataForSingleLineResponse(const QByteArray& command,
                                                     const qint16& timeout)
{
    blnStreaming = false;
    m_blnReplyTooLong = false;
    subWriteDebug("start funSendDataForSingleLineResponse");
    subSendCommand(command);
    for (;;) {
        platform::pumpEvents();
        bool timedOut = false;
        if (funTimedOut(timeout)) {
            subWriteDebug("timeout in funSendDataForSingleLineResponse");
            strDataBuffer = kTimeoutText;
            timedOut = true;
        }
        if (strDataBuffer.endsWith(kLineEnd) || timedOut ||
            wsk1->state() == SocketComponent::Closed) {
            break;
        }
    }
    const QByteArray result = m_blnReplyTooLong ? QByteArray(kTooLongText) : strDataBuffer;
    subflushdata();
    subWriteDebug("end funSendDataForSingleLineResponse");
    return result;
}

QByteArray Vorlane::funSendDataForMultiLineResponse(const QByteArray& command,
                                                    const qint16& timeout)
{
    blnStreaming = false;
    m_blnReplyTooLong = false;
    QByteArray result;
    bool blnCheckFirstLine = true;
    subWriteDebug("start funSendDataForMultiLineResponse");
    subSendCommand(command);
    bool done = false;
    while (!done) {
        platform::pumpEvents();
        if (funReplyAbandoned(timeout, "funSendDataForMultiLineResponse", result)) {
            done = true;
        } else {
            if (blnCheckFirstLine && strDataBuffer > " " && strDataBuffer.contains(kLineEnd)) {
                if (strDataBuffer.startsWith("-ERR")) {
                    done = true;
                    result = strDataBuffer;
                }
                blnCheckFirstLine = false;
            }
            // The end is looked for in the same pass that examined the first line: a response
            // that arrived whole must not wait for one more (idle) pump.
            if (!done && !blnCheckFirstLine) {
                subWriteDebug("funSendDataForMultiLineResponse: (1)");
                if (strDataBuffer.endsWith(kMultiLineEnd)) {
                    done = true;
                    result = strDataBuffer.first(strDataBuffer.size() - 5);
                }
            }
        }
        subWriteDebug("funSendDataForMultiLineResponse: (2)");
    }
    subflushdata();
    subWriteDebug("end funSendDataForMultiLineResponse");
    return result;
}

QByteArray Vorlane::funSendDataForStreamingToAFile(const QByteArray& command, const qint16& timeout)
{
    subWriteDebug("start funSendDataForStreamingToAFile");
    blnStreaming = true;
    blnStreamFirstLinePending = true;
    strStreamFirstLine.clear();
    strStreamWriteError.clear();
    m_streamPieces.clear();
    m_streamFramer.start();
    m_blnReplyTooLong = false;
    subSendCommand(command);
    bool done = false;
    while (!done) {
        platform::pumpEvents();
        if (funReplyAbandoned(timeout, "funSendDataForStreamingToAFile", strStreamFirstLine)) {
            done = true;
        } else if (!blnStreaming) {
            done = true;
        }
    }
    const QByteArray result = strStreamFirstLine;
    if (blnStreaming) {
        // Timed out. On success the receive path already emptied the buffer when it saw the
        // marker, and what it holds now arrived after the marker: the next reply's start.
        subflushdata();
    }
    subWriteDebug("end funSendDataForStreamingToAFile");
    return result;
}
