// How the control stands in for a message the server did not hand out: it answered a UIDL, TOP
// or RETR with "no such" (a server without UIDL answers "-ERR no such command"). The control then
// fills the message's id, headers, contents and saved file with a marker text, and gives a unique
// id made up of user name, host and message number. Nothing of such a message was checked.
#pragma once

#include <QByteArray>
#include <QString>

namespace absentmessage {

inline constexpr char kMarker[] = "Unable to retrieve";

// The id MsgUniqueID gives for such a message: "user:host:number".
QByteArray substituteId(const QByteArray& user, const QByteArray& host, qint32 number);

// Whether the saved file holds the marker and nothing else.
bool fileIsMarker(const QString& path);

} // namespace absentmessage
