// Vorlane: the socket's event handlers. They only collect: text replies into strDataBuffer,
// streamed bodies into strStreamFile; deciding when a reply is complete is the waiting side's.
#include "control/socketcomponent.h"
#include "control/vorlane.h"
#include "platform/clock.h"
#include "platform/pump.h"

#include <cmath>

namespace {

// RFC 1939 keeps status lines under 512 octets, and the in-memory replies are headers or
// messages of at most 64 K. A server that sends far more without ending its reply is hostile or
// broken; these bounds keep the control's memory bounded whatever it sends.
constexpr qsizetype kTextBufferLimit = 8 * 1024 * 1024;
constexpr qsizetype kStatusLineLimit = 64 * 1024;

} // namespace

void Vorlane::wsk1_DataArrival(qint32 bytesTotal)
{
    while (wsk1->state() == SocketComponent::Connecting) {
        platform::pumpEvents();
        platform::pumpEvents();
    }
    datLastActivity = platform::monotonicSeconds();
    if (blnInDataArrival) {
        // A pump inside the host's progress handler; the running handler reads these bytes.
        return;
    }
    blnInDataArrival = true;
    subWriteDebug("start wsk1_dataarrival");
    if (wsk1->state() != SocketComponent::Closed) {
        if (blnStreaming) {
            subReadStreamChunks();
        } else {
            subReadTextChunk(bytesTotal);
        }
    }
    subWriteDebug("end wsk1_dataarrival");
    blnInDataArrival = false;
}

void Vorlane::subReadTextChunk(qint32 bytesTotal)
{
    QByteArray strReading = wsk1->getData();
    subWriteDebug("GetData:" + strReading);
    strReading.remove(0, m_owedReplies.discard(strReading));
    subWriteDebug("wsk1_dataarrival: len(strDataBuffer)=" +
                  QByteArray::number(strDataBuffer.size()));
    subWriteDebug("wsk1_dataarrival: len(strReading)=" + QByteArray::number(strReading.size()) +
                  "bytesTotal=" + QByteArray::number(bytesTotal));
    strDataBuffer += strReading;
    if (strDataBuffer.size() > kTextBufferLimit) {
        subAbandonOverlongReply();
        return;
    }
    if (blnReportProgress) {
        subReportProgress(strDataBuffer.size());
    }
}

void Vorlane::subAbandonOverlongReply()
{
    // The rest of the conversation cannot be trusted to line up with our commands: drop the
    // reply and the connection; the waiting exchange reports the overlong reply.
    subWriteDebug("reply too long, connection closed");
    m_blnReplyTooLong = true;
    strDataBuffer.clear();
    strStreamFirstLine.clear();
    blnStreaming = false;
    wsk1->close();
    subresetvaluesondisconnect();
}

void Vorlane::subReadStreamChunks()
{
    const StreamFramer::BodySink toFile = [this](QByteArrayView bytes) {
        subCollectBodyBytes(bytes);
    };
    while (blnStreaming) {
        const qint64 waiting = wsk1->bytesReceived();
        if (waiting <= 0) {
            break;
        }
        const QByteArray chunk = wsk1->getData(waiting);
        // A late reply to an earlier, timed-out command comes before this one's.
        const qsizetype owed = m_owedReplies.discard(chunk);
        const qsizetype position = owed + m_streamFramer.take(QByteArrayView(chunk).sliced(owed),
                                                              strStreamFirstLine, toFile);
        const bool statusLineEndedHere =
            blnStreamFirstLinePending && !m_streamFramer.statusLinePending();
        if (m_streamFramer.statusLinePending() && strStreamFirstLine.size() > kStatusLineLimit) {
            subAbandonOverlongReply();
            return;
        }
        if (statusLineEndedHere) {
            blnStreamFirstLinePending = false;
            subWriteDebug("firstline=" + strStreamFirstLine + "*");
        }
        subAppendCollectedBody();
        if (m_streamFramer.finished()) {
            subWriteDebug(statusLineEndedHere ? "found end of stream in first packet"
                                              : "found end of stream");
            blnStreaming = false;
            // Whatever follows the marker answers no command: neither message text nor a reply.
            subTraceDiscarded("after reply", QByteArrayView(chunk).sliced(position));
        }
        // A refusal (recognised only with fewer round trips) transfers no message.
        const bool refused = m_streamFramer.finished() && statusLineEndedHere &&
                             strStreamFirstLine.startsWith("-ERR");
        if (blnReportProgress && !refused) {
            lngMsgBytesRead += position - owed;
            subReportProgress(lngMsgBytesRead);
        }
    }
}

void Vorlane::subCollectBodyBytes(QByteArrayView bytes)
{
    // A view into the chunk being read (or into the framer's marker bytes), written when the
    // chunk is done: one append per arrival, no copy of the message.
    m_streamPieces.append(bytes);
    m_headerCapture.take(bytes);
}

void Vorlane::subAppendCollectedBody()
{
    if (m_streamPieces.isEmpty()) {
        return;
    }
    subNoteStreamWrite(m_streamOut.append(strStreamFile, m_streamPieces));
    m_streamPieces.clear();
}

void Vorlane::subNoteStreamWrite(messagefile::Result result)
{
    // The first failure is the one to report; what fails after it follows from it.
    if (m_streamWriteResult == messagefile::Result::Done) {
        m_streamWriteResult = result;
    }
}

void Vorlane::subReportProgress(qint64 bytesRead)
{
    // Without a known size there is nothing to report against (and nothing to divide by).
    if (lngMsgSizeInK <= 0) {
        return;
    }
    qint32 readK = static_cast<qint32>(std::min<qint64>(bytesRead / 1024 + 1, lngMsgSizeInK));
    // nearbyint rounds halves to the even neighbour: 12.5 gives 12, 37.5 gives 38.
    auto percent = static_cast<qint16>(std::nearbyint(double(readK) / lngMsgSizeInK * 100.0));
    if (m_msgReadStatus) {
        m_msgReadStatus(readK, lngMsgSizeInK, percent);
    }
}

void Vorlane::wsk1_Close()
{
    subWriteDebug("start wsk1_close");
    if (wsk1->state() == SocketComponent::Closing) {
        wsk1->close();
    }
    subresetvaluesondisconnect();
    intError = 0;
    strConnectResponse.clear();
    subWriteDebug("end wsk1_close");
}

void Vorlane::wsk1_Error(qint16 number, const QByteArray& description)
{
    subWriteDebug("start wsk1_error: " + QByteArray::number(number) + ' ' + description);
    strErrorDescription = description;
    intError = number;
    subWriteDebug("error:" + QByteArray::number(number) + ':' + description);
    subWriteDebug("end wsk1_error");
}

void Vorlane::subflushdata()
{
    subWriteDebug("in subflushdata");
    strDataBuffer.clear();
}

void Vorlane::subcloseconnection()
{
    subWriteDebug("start subcloseconnection");
    const qint16 remembered = intError;
    if (wsk1->state() != SocketComponent::Closed) {
        wsk1->close();
    }
    while (wsk1->state() != SocketComponent::Closed && wsk1->state() != SocketComponent::Error) {
        platform::pumpEvents();
    }
    subresetvaluesondisconnect();
    intError = remembered;
    subWriteDebug("end subcloseconnection");
}
