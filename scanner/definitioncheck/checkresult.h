// The outcome of checking one saved message: its hits, or why the check failed.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace scanner {

// One hit: the definition line and the message line that contains it, both as the files hold
// them, without their line ends.
struct Hit {
    QByteArray definition;
    QByteArray messageLine;

    bool operator==(const Hit&) const = default;
};

// A plain aggregate, so that a caller reads what it needs and an outcome can grow a field.
struct CheckResult {
    // False when a file could not be opened or read, or the matcher could not be built.
    bool ok = true;
    // Empty when ok; otherwise one line naming the file and the reason, e.g.
    // "Cannot open definition file /opt/orsel/def.dat: No such file or directory".
    QString error;
    // In the order they are to be reported. A check that fails reports none of its own, so no
    // message is marked on a failed check; checks run one after another keep the hits of those
    // that finished (see ScanEngines::check).
    std::vector<Hit> hits;
    // Empty when every check could look at the whole message; otherwise one sentence saying why
    // one could not (an engine's limit, a daemon that went away). Such a message is neither
    // deleted for it nor taken for clean.
    QString notFullyChecked{};

    static CheckResult failure(const QString& reason) { return {false, reason, {}}; }
};

} // namespace scanner
