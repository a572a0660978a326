// Vorlane: fetching the current message into memory or streaming it into a file.
#include "control/controlerrors.h"
#include "control/messagefile.h"
#include "control/replyparser.h"
#include "control/socketcomponent.h"
#include "control/vorlane.h"

namespace {

constexpr const char* kUnableToRetrieve = "Unable to retrieve";
constexpr const char* kTooLarge = "This message is too large (>64K) to retrieve, consider using "
                                  "the WriteCurrentMsgToFile method";
constexpr const char* kWrittenToFile = "Contents written to file: ";
constexpr const char* kFilenameEmpty = "Filename cannot be empty";
constexpr qint32 kInMemoryLimitK = 64;

} // namespace

void Vorlane::subRaiseFinalProgress()
{
    qint16 percent = 100;
    if (m_msgReadStatus) {
        m_msgReadStatus(lngMsgSizeInK, lngMsgSizeInK, percent);
    }
}

bool Vorlane::funSizeFetchEndedSession()
{
    // A LIST refused with the server's goodbye: RETR would go to a closed connection.
    return intError != controlerrors::None && wsk1->state() != SocketComponent::Connected;
}

bool Vorlane::funCanRetrieve()
{
    intError = controlerrors::None;
    if (intStatus != 1) {
        intError = controlerrors::RetrieveWhenDisconnected;
    } else if (intMsgNumber == 0) {
        intError = controlerrors::RetrieveNoMessage;
    }
    return intError == controlerrors::None;
}

void Vorlane::RetrieveCurrentMsg()
{
    subWriteDebug("start retrievecurrentmsg");
    if (blnNoSuchMsg) {
        subWriteDebug("end retrievecurrentmsg");
        return;
    }
    if (funCanRetrieve()) {
        if (!blnSizeRetrieved) {
            subRetrieveSize();
        }
        if (funSizeFetchEndedSession()) {
            // Nothing more to ask: LIST's failure stands.
        } else if (lngMsgSizeInK > kInMemoryLimitK) {
            strMsgContents = kTooLarge;
        } else {
            blnReportProgress = true;
            const QByteArray reply = funSendDataForMultiLineResponse(
                "RETR " + QByteArray::number(intMsgNumber), intPOPTimeout);
            subTakeRetrievedMessage(reply);
            blnReportProgress = false;
            subRaiseFinalProgress();
        }
    }
    if (intError != controlerrors::None) {
        subcloseconnection();
    }
    subWriteDebug("end retrievecurrentmsg");
}

void Vorlane::subTakeRetrievedMessage(const QByteArray& reply)
{
    if (!replyparser::isPositive(reply)) {
        intError = controlerrors::RetrieveRefused;
        strErrorDetail = reply;
        return;
    }
    const qsizetype statusEnd = reply.indexOf("\r\n");
    QByteArray text = statusEnd < 0 ? QByteArray() : reply.sliced(statusEnd + 2);
    const qsizetype blankLine = text.indexOf("\r\n\r\n");
    if (blankLine >= 0) {
        if (strMsgHeaders == kUnableToRetrieve || !blnHeadersRetrieved) {
            blnHeadersRetrieved = true;
            strMsgHeaders = text.first(blankLine + 2); // the last header line keeps its CR LF
        }
        text.remove(0, blankLine + 4);
    }
    strMsgContents = text;
}

void Vorlane::WriteCurrentMsgToFile(QByteArray& strFileToWriteTo)
{
    const QByteArray path = strFileToWriteTo;
    subWriteDebug("start WriteCurrentMsgToFile");
    lngMsgBytesRead = 0;
    // Without a selection there is nothing to fetch: the method reports 24 below. With fewer
    // round trips the headers come with RETR instead.
    if (!blnHeadersRetrieved && intStatus == 1 && intMsgNumber != 0 && !blnPOPFewerRoundTrips) {
        subRetrieveHeaders();
    }
    const QByteArray fileProblem = funValidateFileName(path);
    if (fileProblem > QByteArrayView(" ")) {
        intError = controlerrors::FileError;
        strErrorDetail = fileProblem;
    } else if (blnNoSuchMsg) {
        messagefile::appendToFile(path, kUnableToRetrieve);
    } else {
        if (!funCanRetrieve() || !subStreamMessageToFile(path)) {
            // A failed retrieval leaves no file: neither an old one emptied in place for the
            // message nor the part of the message that came before the failure.
            messagefile::deleteFile(path);
        }
        // A failed append leaves the session usable: the exchange itself completed.
        if (intError != controlerrors::None && intError != controlerrors::FileError) {
            subcloseconnection();
        }
    }
    subWriteDebug("end WriteCurrentMsgToFile");
}

bool Vorlane::subStreamMessageToFile(const QByteArray& path)
{
    if (!blnSizeRetrieved) {
        subRetrieveSize();
    }
    if (funSizeFetchEndedSession()) {
        return false;
    }
    // The file exists before the first byte comes, so an empty message is an empty file.
    const messagefile::Result created = m_streamOut.create(path);
    if (created != messagefile::Result::Done) {
        intError = controlerrors::FileError;
        strErrorDetail = messagefile::failureText(created);
        return true; // what lies there is not ours to remove
    }
    strStreamFile = path;
    blnReportProgress = true;
    const bool captureHeaders = blnPOPFewerRoundTrips && !blnHeadersRetrieved;
    if (captureHeaders) {
        m_headerCapture.start();
    }
    // The reply carries at least the size LIST gave; a server that overstates it costs a few
    // milliseconds at the end, no more.
    wsk1->expectBytes(lngMsgSizeInBytes > 0 ? std::optional<qint64>(lngMsgSizeInBytes)
                                            : std::nullopt);
    const QByteArray reply =
        funSendDataForStreamingToAFile("RETR " + QByteArray::number(intMsgNumber), intPOPTimeout);
    wsk1->expectBytes(std::nullopt);
    const bool answered = funTakeStreamedReply(reply, path, captureHeaders);
    blnReportProgress = false;
    if (answered) {
        subRaiseFinalProgress();
    }
    return !answered || intError == controlerrors::None;
}

bool Vorlane::funTakeStreamedReply(const QByteArray& reply, const QByteArray& path,
                                   bool captureHeaders)
{
    if (!replyparser::isPositive(reply)) {
        m_headerCapture.stop();
        if (funRefusedAsAbsent(reply, path)) {
            return false; // as for a message TOP found absent: no transfer, no event
        }
        intError = controlerrors::RetrieveRefused;
        strErrorDetail = reply;
        return true;
    }
    if (m_streamWriteResult != messagefile::Result::Done) {
        // The file lost data (disk full, removed, made read-only): not a success.
        intError = controlerrors::FileError;
        strErrorDetail = messagefile::failureText(m_streamWriteResult);
    } else {
        strMsgContents = kWrittenToFile + path;
    }
    if (captureHeaders) {
        subTakeCapturedHeaders();
    }
    return true;
}

bool Vorlane::funRefusedAsAbsent(const QByteArray& reply, const QByteArray& path)
{
    // A message another client removed after TOP (or, with fewer round trips, before RETR, which
    // is then the first to hear of it) is treated as TOP's "no such message" would have been:
    // the session goes on, so the run's deletion marks are still carried out by QUIT.
    if (!reply.toUpper().contains("NO SUCH")) {
        return false;
    }
    subApplyNoSuchRule(reply);
    blnHeadersRetrieved = true; // as after TOP's answer
    messagefile::appendToFile(path, kUnableToRetrieve);
    return true;
}

QByteArray Vorlane::funValidateFileName(const QByteArray& path)
{
    if (!(path > QByteArrayView(" "))) {
        return kFilenameEmpty;
    }
    // Whether the file can be created there; any older file of that name goes, since the message
    // replaces it, and links, FIFOs and devices are refused rather than written through.
    return messagefile::failureText(messagefile::clearForReplacement(path));
}
