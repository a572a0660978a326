// The outcome of checking one saved message against the definition file, and the hit handler.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace scanner {

// Receives one hit: the definition line and the message line that contains it, both as the files
// hold them, without their line ends. The check waits for the handler to return before it goes on;
// the handler may pump the event loop.
using HitHandler = std::function<void(const QByteArray& definition, const QByteArray& messageLine)>;

struct CheckResult {
    // False when a file could not be opened or read, or the matcher could not be built. In that
    // case the handler was not called at all, so no message is marked on a failed check.
    bool ok = true;
    // Empty when ok; otherwise one line naming the file and the reason, e.g.
    // "Cannot open definition file /opt/orsel/def.dat: No such file or directory".
    QString error;
    // How many times the handler was called.
    qsizetype hitCount = 0;

    static CheckResult failure(const QString& reason) { return {false, reason, 0}; }
};

} // namespace scanner
