// The ClamAV daemon's answers to a scan: "fd[11]: OK", "stream: Eicar-Signature FOUND",
// "INSTREAM size limit exceeded. ERROR", "UNKNOWN COMMAND". Pure logic, apart from the socket.
#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace scanner {

struct ClamdReply {
    enum class Kind { Clean, Found, Error };
    Kind kind = Kind::Error;
    // What the reply is about, before its ": " ("fd[11]", "stream"); empty when it is about the
    // command itself ("No file descriptor received. ERROR", "UNKNOWN COMMAND").
    QByteArray subject;
    // Found: the signature's name; otherwise the whole reply.
    QByteArray text;
};

// One reply, without its terminating NUL. Anything that is neither "OK" nor "... FOUND" is an
// error, whatever its wording.
ClamdReply parseClamdReply(const QByteArray& record);

// The NUL-terminated replies of a "z" command. An unterminated rest is left out: it is a reply
// the connection cut short.
QByteArrayList clamdRecords(const QByteArray& received);

} // namespace scanner
