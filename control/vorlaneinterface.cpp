#include "control/vorlaneinterface.h"

namespace vorlaneinterface {
namespace {

using automation::method;
using automation::ParamInfo;
using automation::propGet;
using automation::propPut;

constexpr automation::MemberInfo kMembers[] = {
    propGet(Status, "Status", ValueType::Integer,
            "Returns a representation of the current status of the connection with the POP3 "
            "server."),
    propGet(StatusText, "StatusText", ValueType::String,
            "Returns a text representation of the Status property."),
    propGet(Error, "Error", ValueType::Integer,
            "Returns value other than 0 if the last method returned an error."),
    propGet(ErrorText, "ErrorText", ValueType::String,
            "Returns text representation of the Error property."),
    propGet(POPHostname, "POPHostname", ValueType::String,
            "Sets/Returns the hostname or TCPIP address of the POP3 server."),
    propPut(POPHostname, "POPHostname", ValueType::String,
            "Sets/Returns the hostname or TCPIP address of the POP3 server."),
    propGet(POPPort, "POPPort", ValueType::Long,
            "Sets/Returns the port to be used when connecting to the POP3 server."),
    propPut(POPPort, "POPPort", ValueType::Long,
            "Sets/Returns the port to be used when connecting to the POP3 server."),
    propGet(POPUsername, "POPUsername", ValueType::String,
            "Sets/Returns the username to be used when connecting to the POP3 server."),
    propPut(POPUsername, "POPUsername", ValueType::String,
            "Sets/Returns the username to be used when connecting to the POP3 server."),
    propGet(POPPassword, "POPPassword", ValueType::String,
            "Sets/Returns the password to be used when connecting to the POP3 server."),
    propPut(POPPassword, "POPPassword", ValueType::String,
            "Sets/Returns the password to be used when connecting to the POP3 server."),
    propGet(ConnectResponse, "ConnectResponse", ValueType::String,
            "Returns the string the POP3 server sent on initial connection."),
    propGet(POPTimeout, "POPTimeout", ValueType::Integer,
            "Sets/Returns the timeout (in seconds) to be used when communicating with the POP3 "
            "server."),
    propPut(POPTimeout, "POPTimeout", ValueType::Integer,
            "Sets/Returns the timeout (in seconds) to be used when communicating with the POP3 "
            "server."),
    propGet(MsgCount, "MsgCount", ValueType::Long,
            "Returns the count of messages in the mailbox accessed."),
    propGet(MsgNumber, "MsgNumber", ValueType::Integer,
            "Returns the number of the currently selected message."),
    propGet(MsgUniqueID, "MsgUniqueID", ValueType::String,
            "Returns the unique message id of the currently selected message."),
    propGet(MsgHeaders, "MsgHeaders", ValueType::String,
            "Returns the headers of the currently selected message."),
    propGet(MsgSubject, "MsgSubject", ValueType::String,
            "Returns the subject field from the headers of the currently selected message."),
    propGet(MsgFrom, "MsgFrom", ValueType::String,
            "Returns the from field from the headers of the currently selected message."),
    propGet(MsgReturnPath, "MsgReturnPath", ValueType::String,
            "Returns the return-path field from the headers of the currently selected message."),
    propGet(MsgReplyTo, "MsgReplyTo", ValueType::String,
            "Returns the reply-to  field from the headers of the currently selected message."),
    propGet(MsgDate, "MsgDate", ValueType::String,
            "Returns the date field from the headers of the currently selected message."),
    propGet(MsgContents, "MsgContents", ValueType::String,
            "Returns the contents of the currently selected message if the RetrieveCurrentMsg "
            "method has been invoked."),
    propGet(MsgSizeInK, "MsgSizeInK", ValueType::Long,
            "This is the size of the message in kilobytes."),
    propGet(Version, "Version", ValueType::String, "Returns the version of the Vorlane control."),
    propPut(Version, "Version", ValueType::String, "Returns the version of the Vorlane control."),
    propGet(DebugMode, "DebugMode", ValueType::Boolean,
            "Used only at run-time. If property is set to true, debug information will be "
            "collected. Use only at the request of the author."),
    propPut(DebugMode, "DebugMode", ValueType::Boolean,
            "Used only at run-time. If property is set to true, debug information will be "
            "collected. Use only at the request of the author."),
    propGet(DebugFile, "DebugFile", ValueType::String,
            "Contains debug information if the DebugMode property is set to True. Use only at "
            "the request of the author."),
    propPut(DebugFile, "DebugFile", ValueType::String,
            "Contains debug information if the DebugMode property is set to True. Use only at "
            "the request of the author."),
    method(Connect, "Connect", ValueType::Void, {}, "Establishes a connection to a POP3 server."),
    method(Disconnect, "Disconnect", ValueType::Void, {},
           "Disconnects from a POP3 server previously Connected to."),
    method(ResetDeletedMsgs, "ResetDeletedMsgs", ValueType::Void, {},
           "This resets any messages currently marked for deletion in the current POP3 session."),
    method(DeleteCurrentMsg, "DeleteCurrentMsg", ValueType::Void, {},
           "Marks the currently selected message to be deleted."),
    method(GetOtherHeader, "GetOtherHeader", ValueType::String,
           {ParamInfo{"strHeaderToSearchFor", ValueType::String, false}},
           "Returns other header information that there are not currently properties for."),
    method(GetStringValueOfProperty, "GetStringValueOfProperty", ValueType::String,
           {ParamInfo{"strPropertyToReturn", ValueType::String, true}},
           "Returns a string variant of the passed property name. It is returned as a \"String\" "
           "type, not a \"Variant\""),
    method(SetCurrentMsg, "SetCurrentMsg", ValueType::Void,
           {ParamInfo{"intMsgNumber", ValueType::Integer, true}},
           "Sets/Returns the number of the current message selected."),
    method(RetrieveCurrentMsg, "RetrieveCurrentMsg", ValueType::Void, {},
           "Retrieves the body of the currently selected message."),
    method(WriteCurrentMsgToFile, "WriteCurrentMsgToFile", ValueType::Void,
           {ParamInfo{"strFileToWriteTo", ValueType::String, true}},
           "This writes the entire contents of the message to the passed filename"),
    propGet(POPSecurity, "POPSecurity", ValueType::Integer,
            "Sets/Returns the connection security: 0 none, 1 STLS after the greeting, 2 TLS from "
            "the first byte."),
    propPut(POPSecurity, "POPSecurity", ValueType::Integer,
            "Sets/Returns the connection security: 0 none, 1 STLS after the greeting, 2 TLS from "
            "the first byte."),
    propGet(POPCAFile, "POPCAFile", ValueType::String,
            "Sets/Returns a PEM file of extra CA certificates to trust; empty for the system store "
            "alone."),
    propPut(POPCAFile, "POPCAFile", ValueType::String,
            "Sets/Returns a PEM file of extra CA certificates to trust; empty for the system store "
            "alone."),
    propGet(SecureConnectionInfo, "SecureConnectionInfo", ValueType::String,
            "Returns the protocol and cipher of a secure connection; empty otherwise."),
    propGet(POPFewerRoundTrips, "POPFewerRoundTrips", ValueType::Boolean,
            "Sets/Returns whether a session saves round trips: listings once, commands pipelined "
            "where the server offers it, headers taken from the message itself."),
    propPut(POPFewerRoundTrips, "POPFewerRoundTrips", ValueType::Boolean,
            "Sets/Returns whether a session saves round trips: listings once, commands pipelined "
            "where the server offers it, headers taken from the message itself."),
    propGet(UniqueIDList, "UniqueIDList", ValueType::String,
            "Returns the unique-id listing as the server sent it, one \"n id\" line per message "
            "joined by CR LF; empty when not connected or not fetched."),
    propGet(POPAuthentication, "POPAuthentication", ValueType::Integer,
            "Sets/Returns how Connect signs in: 0 USER and PASS, 1 SASL PLAIN, 2 XOAUTH2, "
            "3 OAUTHBEARER (POPPassword then holds the access token)."),
    propPut(POPAuthentication, "POPAuthentication", ValueType::Integer,
            "Sets/Returns how Connect signs in: 0 USER and PASS, 1 SASL PLAIN, 2 XOAUTH2, "
            "3 OAUTHBEARER (POPPassword then holds the access token)."),
    propGet(ServerCapabilities, "ServerCapabilities", ValueType::String,
            "Returns the capability lines of the server's CAPA reply joined by CR LF; empty when "
            "Connect sent no CAPA."),
};

static_assert(automation::hasUniqueIds(kMembers), "a member id and kind appear twice");
static_assert(automation::hasConsistentNames(kMembers), "a name or an id is ambiguous");

constexpr automation::MemberInfo kEventMembers[] = {
    method(kMsgReadStatus, "MsgReadStatus", ValueType::Void,
           {ParamInfo{"lngMsgReadInK", ValueType::Long, true},
            ParamInfo{"lngMsgTotalInK", ValueType::Long, true},
            ParamInfo{"intPercentCompleted", ValueType::Integer, true}},
           ""),
};

using automation::InterfaceFlags;

constexpr unsigned kDualHidden =
    InterfaceFlags::Dual | InterfaceFlags::Hidden | InterfaceFlags::NonExtensible;

} // namespace

const automation::InterfaceInfo kVorlaneInterface = {
    "_Vorlane", "{929AF554-8DDA-406C-8254-41412E447CF4}", kDualHidden, kMembers, nullptr};

const automation::InterfaceInfo kVorlaneEvents = {
    "__Vorlane", "{0512E341-6CE4-4F68-833B-BCBE359E2253}",
    InterfaceFlags::DispatchOnly | InterfaceFlags::Hidden | InterfaceFlags::NonExtensible,
    kEventMembers, nullptr};

const automation::InterfaceInfo kPropertyPageInterface = {
    "_Vorlane_Property_Page", "{57656627-5CCA-4BF5-9972-741D28893981}", kDualHidden, {}, nullptr};

const automation::ClassInfo kVorlaneClass = {"Vorlane", "{E7CC63F0-883E-4C8B-85F2-48BE5280A8FC}",
                                             automation::ClassFlags::Control, &kVorlaneInterface,
                                             &kVorlaneEvents};

const automation::ClassInfo kPropertyPageClass = {"Vorlane_Property_Page",
                                                  "{20B443C6-55E2-46A8-ADA3-7A43BBFCD155}", 0,
                                                  &kPropertyPageInterface, nullptr};

namespace {

const automation::InterfaceInfo* const kInterfaces[] = {&kVorlaneInterface, &kPropertyPageInterface,
                                                        &kVorlaneEvents};
const automation::ClassInfo* const kClasses[] = {&kVorlaneClass, &kPropertyPageClass};

} // namespace

const automation::TypeLibraryInfo kTypeLibrary = {"Vorlanecontrol",
                                                  "{48250ACE-8342-4EA8-85F9-1F377711A6ED}",
                                                  1,
                                                  0,
                                                  0x409,
                                                  "Vorlane 4.0.1",
                                                  kInterfaces,
                                                  kClasses};

} // namespace vorlaneinterface
