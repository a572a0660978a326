// The POP3 client control `Vorlane`: its instance record and its native interface. The
// automation interface (dispatch by member id) is layered on top of this class.
//
// Every method blocks its caller: it sends one command and waits, pumping the event loop, until
// the reply is complete or the server has been silent for more than POPTimeout seconds. Protocol
// and usage failures never throw: they set Error (codes 11..36, or a socket's own number) and
// ErrorText, whatever the server does or when it closes the connection.
#pragma once

#include "control/headercapture.h"
#include "control/maildroplisting.h"
#include "control/messagefile.h"
#include "control/owedreplies.h"
#include "control/saslresponse.h"
#include "control/servercapabilities.h"
#include "control/streamframer.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <memory>

class BufferedReply;
class SocketComponent;

// A run-time fault of a call, for the caller rather than for Error.
struct ControlFault {
    int number;
    QByteArray description;
};

class Vorlane {
public:
    // The control's one event: K read, total K (the control's own field: a handler that changes
    // it changes MsgSizeInK), percent completed.
    using MsgReadStatusHandler = std::function<void(qint32& lngMsgReadInK, qint32& lngMsgTotalInK,
                                                    qint16& intPercentCompleted)>;

    Vorlane();
    ~Vorlane();
    Vorlane(const Vorlane&) = delete;
    Vorlane& operator=(const Vorlane&) = delete;

    void setMsgReadStatusHandler(MsgReadStatusHandler handler);
    // A trace entry on behalf of the object that hosts this instance (its lifecycle).
    void traceLifecycle(const QByteArray& text) { subWriteDebug(text); }

    // Lifecycle.
    void Initialize();
    void InitProperties();

    // State, errors and trace.
    qint16 Status() const { return intStatus; }
    QByteArray StatusText() const;
    qint16 Error() const { return intError; }
    QByteArray ErrorText() const;
    bool DebugMode() const { return blnDebugMode; }
    void setDebugMode(bool value) { blnDebugMode = value; }
    QByteArray DebugFile() const { return strDebugFile; }
    void setDebugFile(const QByteArray& value) { strDebugFile = value; }
    static QByteArray Version();

    // Connection settings.
    QByteArray POPHostname() const { return strPOPHostname; }
    void setPOPHostname(const QByteArray& value) { strPOPHostname = value; }
    qint32 POPPort() const { return lngPOPPort; }
    void setPOPPort(qint32 value) { lngPOPPort = value; }
    QByteArray POPUsername() const { return strPOPUsername; }
    void setPOPUsername(const QByteArray& value) { strPOPUsername = value; }
    QByteArray POPPassword() const { return strPOPPassword; }
    void setPOPPassword(const QByteArray& value) { strPOPPassword = value; }
    qint16 POPTimeout() const { return intPOPTimeout; }
    void setPOPTimeout(qint16 value) { intPOPTimeout = value; }

    // Connection security: 0 plain POP3 (the default), 1 STLS after the greeting, 2 TLS from
    // the first byte. A CA file adds PEM certificates to the system's trust store.
    enum Security : qint16 { SecurityNone = 0, SecurityStls = 1, SecurityTls = 2 };
    static bool isValidSecurity(qint16 value)
    {
        return value >= SecurityNone && value <= SecurityTls;
    }
    qint16 POPSecurity() const { return intPOPSecurity; }
    // Callers check isValidSecurity() first; other values are refused by the interface.
    void setPOPSecurity(qint16 value) { intPOPSecurity = value; }
    QByteArray POPCAFile() const { return strPOPCAFile; }
    void setPOPCAFile(const QByteArray& value) { strPOPCAFile = value; }
    // The protocol and cipher after a secure Connect; "" otherwise.
    QByteArray SecureConnectionInfo() const { return strSecureConnectionInfo; }

    // Fewer round trips (off by default): CAPA after the greeting (after STLS: over TLS); USER and
    // PASS, then STAT, UIDL and LIST, each group in one burst where the server offers PIPELINING
    // (one by one otherwise); unique ids and sizes from those listings, headers from the start of
    // the RETR stream. The results are those of the per-message commands, which serve wherever
    // the server refuses CAPA, UIDL or LIST or a listing line cannot be trusted. Headers over 64 K
    // still cost a TOP (code 22).
    bool POPFewerRoundTrips() const { return blnPOPFewerRoundTrips; }
    void setPOPFewerRoundTrips(bool value) { blnPOPFewerRoundTrips = value; }
    // The UIDL listing as the server sent it, "n id" lines joined by CR LF; "" when not connected
    // or not fetched.
    QByteArray UniqueIDList() const { return strUniqueIDList; }

    // How Connect signs in: 0 USER and PASS (the default), or SASL (RFC 5034) with 1 PLAIN,
    // 2 XOAUTH2 or 3 OAUTHBEARER (RFC 7628), for which POPPassword holds the access token. A SASL
    // method asks CAPA first (after STLS: over TLS) and sends nothing secret unless the server
    // lists the method.
    enum Authentication : qint16 {
        AuthenticationUserPass = 0,
        AuthenticationPlain = 1,
        AuthenticationXoauth2 = 2,
        AuthenticationOauthbearer = 3,
    };
    static bool isValidAuthentication(qint16 value)
    {
        return value >= AuthenticationUserPass && value <= AuthenticationOauthbearer;
    }
    qint16 POPAuthentication() const { return intPOPAuthentication; }
    // Callers check isValidAuthentication() first; other values are refused by the interface.
    void setPOPAuthentication(qint16 value) { intPOPAuthentication = value; }
    // The capability lines of the CAPA reply, joined by CR LF, from the last Connect that sent
    // CAPA (kept after that session, for a look at what a refusing server offered); "" when it
    // sent none or the server refused it.
    QByteArray ServerCapabilities() const { return strServerCapabilities; }

    // Session. Codes 11..18, 32 (TLS handshake, certificate or CA file), 33 (STLS refused), 35
    // (sign-in method not offered), 36 (SASL sign-in refused, or a silent server), or the
    // socket's number. With security on, no credential is sent before TLS is up.
    void Connect();
    // Code 34 when a QUIT was sent and not answered "+OK" (the marks are then not carried out).
    void Disconnect();
    QByteArray ConnectResponse() const { return strConnectResponse; }
    qint32 MsgCount() const { return lngMsgCount; }

    // Selection. SetCurrentMsg: 0 reselects the current message and writes its number back.
    // Codes 19, 20, 21 (20 and 21 close the connection; a "no such message" reply does not).
    void SetCurrentMsg(qint16& intMsgNumber);
    qint16 MsgNumber() const { return intMsgNumber; }
    QByteArray MsgUniqueID() const;
    // Lazy: sends LIST once per selection, only while connected. Code 30 on a refused LIST.
    qint32 MsgSizeInK();

    // Retrieval. In memory up to 64 K; to a file of any size. Codes 23, 24, 25, 30, 31. A refused
    // streamed RETR is code 25 at once, with the server's words; one answered "no such message"
    // is an absent message (Error 0, the marker text in the file), as a refused TOP makes it. A
    // failed streamed retrieval leaves no file.
    void RetrieveCurrentMsg();
    void WriteCurrentMsgToFile(QByteArray& strFileToWriteTo);
    QByteArray MsgContents() const { return strMsgContents; }

    // Deletion marks. Codes 26, 27, 28, 29; the connection stays open.
    void DeleteCurrentMsg();
    void ResetDeletedMsgs();

    // Headers (lazy TOP, once per selection, only while connected).
    QByteArray MsgHeaders();
    QByteArray MsgSubject() { return fungetheader("subject:"); }
    QByteArray MsgFrom() { return fungetheader("from:"); }
    QByteArray MsgReturnPath() { return fungetheader("return-path:"); }
    QByteArray MsgReplyTo() { return fungetheader("reply-to:"); }
    QByteArray MsgDate() { return fungetheader("date:"); }
    // The value of the named header line, or "<not found>". Leaves Error 0.
    QByteArray GetOtherHeader(const QByteArray& strHeaderToSearchFor);
    // Any readable property by name (any case, spaces trimmed) as text; "" for unknown names.
    // Leaves Error 0.
    QByteArray GetStringValueOfProperty(const QByteArray& strPropertyToReturn);

private:
    friend class VorlaneTestAccess;

    // Trace, state and resets.
    void subWriteDebug(const QByteArray& text);
    QByteArray funSocketState() const;
    QByteArray funTraceHeader() const;
    void subresetvaluesondisconnect();
    void subresetmsgvalues();

    // Receive path.
    void wsk1_DataArrival(qint32 bytesTotal);
    void wsk1_Close();
    void wsk1_Error(qint16 number, const QByteArray& description);
    void subReadStreamChunks();
    void subReadTextChunk(qint32 bytesTotal);
    void subAbandonOverlongReply();
    void subCollectBodyBytes(QByteArrayView bytes);
    void subAppendCollectedBody();
    void subNoteStreamWrite(messagefile::Result result);
    void subReportProgress(qint64 bytesRead);
    void subflushdata();
    void subcloseconnection();

    // Command exchange.
    QByteArray funSendDataForSingleLineResponse(const QByteArray& command, const qint16& timeout);
    QByteArray funSendDataForMultiLineResponse(const QByteArray& command, const qint16& timeout);
    QByteArray funSendDataForStreamingToAFile(const QByteArray& command, const qint16& timeout);
    // The single-line exchange with the trace naming the line as `traceText` (a secret line is
    // never traced as sent).
    QByteArray funSendLineForSingleLineResponse(const QByteArray& line, const QByteArray& traceText,
                                                const qint16& timeout);
    bool funSendCommand(const QByteArray& command, const QByteArray& traceText);
    // The waits of the first two exchanges. With `keepWhatFollows` the bytes after the reply stay
    // in strDataBuffer as the start of the next pipelined reply; otherwise they are discarded.
    // `replyEnded` tells a reply from a timeout, an overlong reply or a closed connection.
    QByteArray funAwaitSingleLineResponse(const qint16& timeout, bool keepWhatFollows,
                                          bool* replyEnded = nullptr);
    QByteArray funEndSingleLineWait(bool ended, bool keepWhatFollows,
                                    const BufferedReply* reply = nullptr);
    QByteArray funAwaitMultiLineResponse(const qint16& timeout, bool keepWhatFollows,
                                         bool* replyEnded = nullptr);
    void subKeepOrDiscard(const QByteArray& following, bool keepWhatFollows);
    bool funConnectionLost();
    bool funTimedOut(const qint16& timeout) const;
    // The end tests every wait shares: the reply broke its size bound, or the server has been
    // silent too long. Sets `result` to the matching failure text.
    bool funReplyAbandoned(const qint16& timeout, const char* waitName, QByteArray& result);
    QByteArray funCommandForTrace(const QByteArray& command) const;

    // Replies in step with commands: the reply a timed-out exchange still owes is dropped when
    // it comes, and so is anything after a reply's end.
    void subOweReply(StreamFramer::Reply kind, QByteArrayView partial);
    void subTraceDiscarded(const char* what, QByteArrayView bytes);
    void subDiscardUnsolicited();

    // Fewer round trips: pipelined bursts (RFC 2449), capabilities, listings.
    struct PipelinedCommand {
        QByteArray line;
        StreamFramer::Reply kind;
    };
    // Sends the commands in one write and returns their replies in order. A reply that does not
    // come (timeout, closed connection) is owed, and so is every one after it; each of those then
    // reads as the failed one did.
    QByteArrayList funSendPipelined(const QList<PipelinedCommand>& commands);
    bool funSendCommands(const QByteArrayList& commands);
    void subAskCapabilities();
    bool funPipelining() const;
    bool funPipelinedLogin();
    void subFetchListings(const QByteArrayList& pipelinedReplies);
    void subTakeUniqueIdListing(const QByteArray& reply);
    void subTakeSizeListing(const QByteArray& reply);
    void subTakeCapturedHeaders();

    // Selection and retrieval steps.
    void subRetrieveHeaders();
    void subRetrieveSize();
    void subTakeSize(qint32 octets);
    // The selected message's unique id from the UIDL listing, when there is one to use.
    std::optional<QByteArray> funListedUniqueId() const;
    void subApplyNoSuchRule(const QByteArray& reply);
    void subRaiseFinalProgress();
    bool funCanRetrieve();
    bool funSizeFetchEndedSession();
    void subTakeRetrievedMessage(const QByteArray& reply);
    // False when the file must not stay under the message's name: nothing was asked for, or the
    // retrieval failed (refused, cut off, timed out, not written whole).
    bool subStreamMessageToFile(const QByteArray& path);
    // False when the server said the message is no more (then handled as a selection of an
    // absent message is).
    bool funTakeStreamedReply(const QByteArray& reply, const QByteArray& path, bool captureHeaders);
    // A refused RETR whose reply says "no such": the absent message's marker goes to the file.
    bool funRefusedAsAbsent(const QByteArray& reply, const QByteArray& path);
    QByteArray funValidateFileName(const QByteArray& path);
    QByteArray fungetheader(const QByteArray& name);
    QByteArray funPropertyText(const QByteArray& upperName, bool* known);

    // Session steps.
    bool funConnectSocket();
    void subAwaitGreeting();
    void subRefuseClosedGreeting();
    // The greeting is in: STLS where asked for, then CAPA with fewer round trips.
    bool funAfterGreeting();
    bool funPrepareSecurity();
    bool funNegotiateStls();
    bool funAwaitSecureSession();
    void subTakeSecureChannelFailure();
    void subNoteSecureSession();
    bool funSessionStep(const QByteArray& command, const QByteArray& argument, qint16 failureCode,
                        QByteArray* reply = nullptr);
    bool funTakeSessionReply(const QByteArray& answer, qint16 failureCode, QByteArray* reply);
    bool funLogin();
    // SASL sign-in: the method must be in CAPA's SASL line; the response goes with AUTH where
    // it fits, on a line of its own after "+ " where it does not; an error challenge is answered
    // so that the server ends the exchange.
    bool funSaslLogin();
    bool funFinishSaslExchange(saslresponse::Mechanism mechanism, const QByteArray& base64,
                               QByteArray reply, bool responseSent);
    bool funSaslMethodOffered(const QByteArray& mechanism);
    void subRefuseSignIn(const QByteArray& reply, const QByteArray& status);
    bool funReadStatistics();

    // The instance record.
    bool blnNoSuchMsg = false;
    bool blnStreaming = false;
    QByteArray strStreamFile;
    QByteArray strStreamFirstLine;
    bool blnStreamFirstLinePending = false;
    bool blnInDataArrival = false;
    qint16 intStatus = 0;
    qint16 intError = 0;
    QByteArray strPOPHostname;
    qint32 lngPOPPort = 0;
    QByteArray strPOPUsername;
    QByteArray strPOPPassword;
    qint16 intPOPTimeout = 0;
    QByteArray strConnectResponse;
    qint32 lngMsgCount = 0;
    qint16 intMsgNumber = 0;
    QByteArray strMsgUniqueID;
    QByteArray strMsgHeaders;
    QByteArray strMsgContents;
    QByteArray strDebugFile;
    bool blnDebugMode = false;
    bool blnDebugHeaderWritten = false;
    qint32 lngMsgSizeInBytes = 0;
    qint32 lngMsgSizeInK = 0;
    bool blnSizeRetrieved = false;
    bool blnHeadersRetrieved = false;
    bool blnReportProgress = false;
    qint64 lngMsgBytesRead = 0; // 64 bits: a streamed message may exceed 2 GiB
    qint64 datLastActivity = 0; // whole seconds of the monotonic clock
    QByteArray strErrorDescription;
    QByteArray strErrorDetail;
    QByteArray strDataBuffer;

    // Streamed-body state beyond the classic record: the framer that finds the end marker across
    // reads, the body bytes of the current arrival (views into it, appended as one write), and
    // the first append failure of the transfer, so that the retrieval can report it instead of
    // success.
    StreamFramer m_streamFramer;
    QList<QByteArrayView> m_streamPieces;
    messagefile::AppendStream m_streamOut;
    messagefile::Result m_streamWriteResult = messagefile::Result::Done;
    bool m_blnReplyTooLong = false; // the last reply broke the size bounds; connection dropped

    // Replies owed by timed-out exchanges; each one dropped is traced.
    OwedReplies m_owedReplies{[this](const QByteArray& statusLine) {
        subWriteDebug("discarded late reply:" + statusLine);
    }};
    // Fewer round trips, beyond the classic record: what CAPA said, the listings of this session,
    // and the headers caught at the start of a streamed message.
    bool blnPOPFewerRoundTrips = false;
    QByteArray strUniqueIDList;
    ::ServerCapabilities m_capabilities; // the class, not the member of that name
    MaildropListing m_listing;
    HeaderCapture m_headerCapture;
    // Sign-in methods, beyond the classic record.
    qint16 intPOPAuthentication = AuthenticationUserPass;
    QByteArray strServerCapabilities;
    // Secure connections, beyond the classic record.
    qint16 intPOPSecurity = SecurityNone;
    QByteArray strPOPCAFile;
    QByteArray strSecureConnectionInfo;

    MsgReadStatusHandler m_msgReadStatus;
    std::unique_ptr<SocketComponent> wsk1;
};
