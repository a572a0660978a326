// Type information as text, one line per member: what a developer reads to call an object
// late-bound, and what tests compare against.
#pragma once

#include "platform/automation/typeinfo.h"

#include <QByteArray>

namespace automation {

// One member, without line end:
//   0x68030017 propget Status -> Integer "Returns ..."
//   0x68030013 propput POPHostname -> String "Sets/Returns ..."
//   0x60030024 method SetCurrentMsg(byref Integer intMsgNumber) "Sets/Returns ..."
//   0x60030022 method GetOtherHeader(byval String strName) -> String "Returns ..."
// The id is 8 upper-case hex digits (negative ids as their 32-bit pattern). " -> TYPE" names the
// property's value type for a get and for a put alike, and a method's result unless it is Void.
// A get or put with parameters lists them like a method. The help string stands as it is, in
// double quotes ("" when there is none); it may itself contain quotes, so it runs to the line end.
QByteArray printMember(const MemberInfo& member);

// The members of an interface, one line each ending in "\n", in table order.
QByteArray printInterfaceMembers(const InterfaceInfo& info);

// The whole library:
//   library NAME {GUID} version 1.0 lcid 0x0409 "help"
//   interface NAME {GUID} [hidden, dual, nonextensible] "help"
//       <member line, indented by four spaces>...
//   class NAME {GUID} [control] default INTERFACE source INTERFACE
// Interfaces first, then classes, each in table order; "[]" for no flags, "source" only when the
// class has one.
QByteArray printTypeLibrary(const TypeLibraryInfo& library);

} // namespace automation
