// Vorlane: header access by name and the value of any readable property as text.
#include "control/controlerrors.h"
#include "control/headersearch.h"
#include "control/vorlane.h"

#include <functional>
#include <utility>

QByteArray Vorlane::MsgHeaders()
{
    if (!blnHeadersRetrieved && intStatus == 1) {
        subRetrieveHeaders();
    }
    return strMsgHeaders;
}

QByteArray Vorlane::GetOtherHeader(const QByteArray& strHeaderToSearchFor)
{
    const QByteArray searchName = strHeaderToSearchFor;
    if (!blnHeadersRetrieved && intStatus == 1) {
        subRetrieveHeaders();
    }
    subWriteDebug("start getotherheader");
    // After the fetch: a failed fetch is no longer visible once the search has run.
    intError = controlerrors::None;
    const headersearch::Match match = headersearch::find(strMsgHeaders, searchName);
    if (match.found) {
        subWriteDebug("intposition:" + QByteArray::number(match.lineEndPosition));
        subWriteDebug("strtemp:" + match.line);
    }
    subWriteDebug("end getotherheader");
    return match.value;
}

QByteArray Vorlane::fungetheader(const QByteArray& name)
{
    subWriteDebug("start fungetheader:" + name);
    QByteArray value = GetOtherHeader(name);
    if (value == headersearch::kNotFound) {
        value.clear();
    }
    subWriteDebug("end fungetheader");
    return value;
}

QByteArray Vorlane::funPropertyText(const QByteArray& upperName, bool* known)
{
    using Reader = std::function<QByteArray(Vorlane&)>;
    auto number = [](qint64 n) { return QByteArray::number(n); };
    const std::pair<const char*, Reader> readers[] = {
        {"POPHOSTNAME", [](Vorlane& v) { return v.POPHostname(); }},
        {"POPPORT", [&](Vorlane& v) { return number(v.POPPort()); }},
        {"POPUSERNAME", [](Vorlane& v) { return v.POPUsername(); }},
        {"POPPASSWORD", [](Vorlane& v) { return v.POPPassword(); }},
        {"POPTIMEOUT", [&](Vorlane& v) { return number(v.POPTimeout()); }},
        {"STATUS", [&](Vorlane& v) { return number(v.intStatus); }},
        {"STATUSTEXT", [](Vorlane& v) { return v.StatusText(); }},
        {"ERROR", [&](Vorlane& v) { return number(v.Error()); }},
        {"ERRORTEXT", [](Vorlane& v) { return v.ErrorText(); }},
        {"MSGCOUNT", [&](Vorlane& v) { return number(v.MsgCount()); }},
        {"MSGNUMBER", [&](Vorlane& v) { return number(v.MsgNumber()); }},
        {"MSGUNIQUEID", [](Vorlane& v) { return v.MsgUniqueID(); }},
        {"MSGHEADERS", [](Vorlane& v) { return v.MsgHeaders(); }},
        {"MSGSUBJECT", [](Vorlane& v) { return v.MsgSubject(); }},
        {"MSGFROM", [](Vorlane& v) { return v.MsgFrom(); }},
        {"MSGRETURNPATH", [](Vorlane& v) { return v.MsgReturnPath(); }},
        {"MSGREPLYTO", [](Vorlane& v) { return v.MsgReplyTo(); }},
        {"MSGDATE", [](Vorlane& v) { return v.MsgDate(); }},
        {"MSGSIZEINK", [&](Vorlane& v) { return number(v.MsgSizeInK()); }},
        {"CONNECTRESPONSE", [](Vorlane& v) { return v.ConnectResponse(); }},
        {"MSGCONTENTS", [](Vorlane& v) { return v.MsgContents(); }},
        {"DEBUGMODE", [](Vorlane& v) { return QByteArray(v.DebugMode() ? "True" : "False"); }},
        {"DEBUGFILE", [](Vorlane& v) { return v.DebugFile(); }},
        {"POPSECURITY", [&](Vorlane& v) { return number(v.POPSecurity()); }},
        {"POPCAFILE", [](Vorlane& v) { return v.POPCAFile(); }},
        {"SECURECONNECTIONINFO", [](Vorlane& v) { return v.SecureConnectionInfo(); }},
        {"POPFEWERROUNDTRIPS",
         [](Vorlane& v) { return QByteArray(v.POPFewerRoundTrips() ? "True" : "False"); }},
        {"UNIQUEIDLIST", [](Vorlane& v) { return v.UniqueIDList(); }},
        {"POPAUTHENTICATION", [&](Vorlane& v) { return number(v.POPAuthentication()); }},
        {"SERVERCAPABILITIES", [](Vorlane& v) { return v.ServerCapabilities(); }},
    };
    for (const auto& [name, read] : readers) {
        if (upperName == name) {
            *known = true;
            return read(*this);
        }
    }
    *known = false;
    return {};
}

QByteArray Vorlane::GetStringValueOfProperty(const QByteArray& strPropertyToReturn)
{
    bool known = false;
    const QByteArray text =
        funPropertyText(headersearch::trimSpaces(strPropertyToReturn).toUpper(), &known);
    subWriteDebug("start GetStringValueOfProperty");
    intError = controlerrors::None;
    subWriteDebug("end GetStringValueOfProperty");
    return text;
}
