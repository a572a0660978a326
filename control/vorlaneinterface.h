// The control's identity as automation sees it: the members of _Vorlane with their ids and help
// strings, the event interface __Vorlane, the classes and the type library. One table feeds the
// dispatcher, the name look-up and the type-information printer.
#pragma once

#include "platform/automation/memberinfo.h"
#include "platform/automation/typeinfo.h"

namespace vorlaneinterface {

using automation::ValueType;

// Member ids of _Vorlane.
enum Dispid : qint32 {
    Status = 0x68030017,
    StatusText = 0x68030016,
    Error = 0x68030015,
    ErrorText = 0x68030014,
    POPHostname = 0x68030013,
    POPPort = 0x68030012,
    POPUsername = 0x68030011,
    POPPassword = 0x68030010,
    ConnectResponse = 0x6803000F,
    POPTimeout = 0x6803000E,
    MsgCount = 0x6803000D,
    MsgNumber = 0x6803000C,
    MsgUniqueID = 0x6803000B,
    MsgHeaders = 0x6803000A,
    MsgSubject = 0x68030009,
    MsgFrom = 0x68030008,
    MsgReturnPath = 0x68030007,
    MsgReplyTo = 0x68030006,
    MsgDate = 0x68030005,
    MsgContents = 0x68030004,
    MsgSizeInK = 0x68030003,
    Version = 0x68030002,
    DebugMode = 0x68030001,
    DebugFile = 0x68030000,
    Connect = 0x6003001E,
    Disconnect = 0x6003001F,
    ResetDeletedMsgs = 0x60030020,
    DeleteCurrentMsg = 0x60030021,
    GetOtherHeader = 0x60030022,
    GetStringValueOfProperty = 0x60030023,
    SetCurrentMsg = 0x60030024,
    RetrieveCurrentMsg = 0x60030025,
    WriteCurrentMsgToFile = 0x60030026,
    // Secure connections, beyond the classic interface.
    POPSecurity = 0x68030018,
    POPCAFile = 0x68030019,
    SecureConnectionInfo = 0x6803001A,
    // Fewer round trips, beyond the classic interface.
    POPFewerRoundTrips = 0x6803001B,
    UniqueIDList = 0x6803001C,
    // Sign-in methods, beyond the classic interface.
    POPAuthentication = 0x6803001D,
    ServerCapabilities = 0x6803001E,
};

// Member id of __Vorlane.
inline constexpr qint32 kMsgReadStatus = 1;

extern const automation::InterfaceInfo kVorlaneInterface;      // _Vorlane
extern const automation::InterfaceInfo kVorlaneEvents;         // __Vorlane
extern const automation::InterfaceInfo kPropertyPageInterface; // _Vorlane_Property_Page
extern const automation::ClassInfo kVorlaneClass;
extern const automation::ClassInfo kPropertyPageClass;
extern const automation::TypeLibraryInfo kTypeLibrary;

inline constexpr const char* kProgId = "Vorlanecontrol.Vorlane";

} // namespace vorlaneinterface
