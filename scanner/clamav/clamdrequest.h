// One request to the ClamAV daemon on a connection of its own: connect to its Unix socket, send a
// "z" command (with a file's descriptor or its bytes), read the NUL-terminated answers until the
// daemon closes the connection, as it does after every command outside a session. The scanner
// has one thread: every wait here pumps the event loop, and each ends at a limit of its own.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

class QIODevice;

namespace scanner {

class ClamdRequest {
public:
    enum class Outcome {
        Answered,    // the daemon answered; `replies` holds its answers
        Unreachable, // no socket there, or nobody listening on it
        WentAway,    // the connection broke or closed before an answer
        Silent,      // connected, but nothing moved for the limit
        Failed,      // the request could not be made (our own file could not be read)
    };
    struct Limits {
        int connectMs = 5000;
        // Nothing sent, nothing received for this long: the daemon counts as silent.
        int silenceMs = 20000;
    };
    struct Result {
        Outcome outcome = Outcome::Answered;
        QByteArrayList replies; // without their NULs
        // Unless answered, what went wrong, e.g. "connection refused",
        // "no answer within 20 s".
        QString reason;
    };

    // A limit as the reasons say it: "20 s".
    static QString limitText(int ms) { return QStringLiteral("%1 s").arg((ms + 999) / 1000); }

    // A command that needs nothing more: "PING", "VERSION".
    static Result command(const QString& socket, const QByteArray& name, const Limits& limits);
    // FILDES: the open file's descriptor passed along with the request (SCM_RIGHTS), so that the
    // daemon reads the file without needing any right to its folder.
    static Result descriptor(const QString& socket, int fd, const Limits& limits);
    // INSTREAM: the device's bytes, each chunk after its length in 4 bytes (big-endian), then an
    // empty chunk. Reads the device from where it stands; memory stays at a few chunks.
    static Result stream(const QString& socket, QIODevice& data, const Limits& limits);
};

} // namespace scanner
