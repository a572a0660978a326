// Reaches the control's private exchanges and fields, for tests that check them directly.
#pragma once

#include "control/vorlane.h"

class VorlaneTestAccess {
public:
    static QByteArray singleLine(Vorlane& v, const QByteArray& command)
    {
        return v.funSendDataForSingleLineResponse(command, v.intPOPTimeout);
    }
    static QByteArray multiLine(Vorlane& v, const QByteArray& command)
    {
        return v.funSendDataForMultiLineResponse(command, v.intPOPTimeout);
    }
    static QByteArray streamToFile(Vorlane& v, const QByteArray& command, const QByteArray& path)
    {
        v.strStreamFile = path;
        return v.funSendDataForStreamingToAFile(command, v.intPOPTimeout);
    }
    static void setReportProgress(Vorlane& v, bool on, qint32 sizeInK)
    {
        v.blnReportProgress = on;
        v.lngMsgSizeInK = sizeInK;
        v.lngMsgBytesRead = 0;
    }
    static bool streaming(const Vorlane& v) { return v.blnStreaming; }
    static bool firstLinePending(const Vorlane& v) { return v.blnStreamFirstLinePending; }
    static QByteArray streamWriteError(const Vorlane& v)
    {
        return messagefile::failureText(v.m_streamWriteResult);
    }
    static qint32 sizeInBytes(const Vorlane& v) { return v.lngMsgSizeInBytes; }
    static void setError(Vorlane& v, qint16 code, const QByteArray& detail)
    {
        v.intError = code;
        v.strErrorDetail = detail;
    }
    static void setSocketDescription(Vorlane& v, const QByteArray& text)
    {
        v.strErrorDescription = text;
    }
    static void closeConnection(Vorlane& v) { v.subcloseconnection(); }
    static void trace(Vorlane& v, const QByteArray& text) { v.subWriteDebug(text); }
};
