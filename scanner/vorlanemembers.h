// The member ids of the POP3 control's automation interface that the scanner calls, as the
// control's type library publishes them. The scanner calls the control only by these ids; a test
// holds them against the control's type information.
#pragma once

#include <QtGlobal>

namespace vorlanemembers {

inline constexpr const char* kProgId = "Vorlanecontrol.Vorlane";

inline constexpr qint32 Status = 0x68030017;
inline constexpr qint32 Error = 0x68030015;
inline constexpr qint32 ErrorText = 0x68030014;
inline constexpr qint32 POPHostname = 0x68030013;
inline constexpr qint32 POPUsername = 0x68030011;
inline constexpr qint32 POPPassword = 0x68030010;
inline constexpr qint32 POPPort = 0x68030012;
inline constexpr qint32 POPSecurity = 0x68030018;
inline constexpr qint32 POPCAFile = 0x68030019;
inline constexpr qint32 POPFewerRoundTrips = 0x6803001B;
inline constexpr qint32 UniqueIDList = 0x6803001C;
inline constexpr qint32 POPAuthentication = 0x6803001D;
inline constexpr qint32 MsgCount = 0x6803000D;
inline constexpr qint32 MsgNumber = 0x6803000C;
inline constexpr qint32 MsgUniqueID = 0x6803000B;
inline constexpr qint32 MsgSizeInK = 0x68030003;
inline constexpr qint32 MsgHeaders = 0x6803000A;
inline constexpr qint32 MsgContents = 0x68030004;
inline constexpr qint32 MsgFrom = 0x68030008;
inline constexpr qint32 MsgSubject = 0x68030009;
inline constexpr qint32 Connect = 0x6003001E;
inline constexpr qint32 Disconnect = 0x6003001F;
inline constexpr qint32 DeleteCurrentMsg = 0x60030021;
inline constexpr qint32 SetCurrentMsg = 0x60030024;
inline constexpr qint32 WriteCurrentMsgToFile = 0x60030026;

// The event.
inline constexpr qint32 MsgReadStatus = 1;

// Every member id above under the name the control's type information gives it, so that a test
// can hold them against the control itself.
struct NamedId {
    const char* name;
    qint32 id;
};
inline constexpr NamedId kMembers[] = {
    {"Status", Status},
    {"Error", Error},
    {"ErrorText", ErrorText},
    {"POPHostname", POPHostname},
    {"POPUsername", POPUsername},
    {"POPPassword", POPPassword},
    {"POPPort", POPPort},
    {"POPSecurity", POPSecurity},
    {"POPCAFile", POPCAFile},
    {"POPFewerRoundTrips", POPFewerRoundTrips},
    {"UniqueIDList", UniqueIDList},
    {"POPAuthentication", POPAuthentication},
    {"MsgCount", MsgCount},
    {"MsgNumber", MsgNumber},
    {"MsgUniqueID", MsgUniqueID},
    {"MsgSizeInK", MsgSizeInK},
    {"MsgHeaders", MsgHeaders},
    {"MsgContents", MsgContents},
    {"MsgFrom", MsgFrom},
    {"MsgSubject", MsgSubject},
    {"Connect", Connect},
    {"Disconnect", Disconnect},
    {"DeleteCurrentMsg", DeleteCurrentMsg},
    {"SetCurrentMsg", SetCurrentMsg},
    {"WriteCurrentMsgToFile", WriteCurrentMsgToFile},
};
inline constexpr NamedId kEvents[] = {{"MsgReadStatus", MsgReadStatus}};

} // namespace vorlanemembers
