// What a ClamAV engine, in-process or the daemon, made of one message: what it detected, and
// whether it could look at all of it.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace scanner {

// One detection: the signature's name, and the name of the inner file (an attachment, a member of
// an archive) that held it when the engine gives one, else empty.
struct Detection {
    QByteArray signature;
    QByteArray innerFile;
};

struct ClamAvVerdict {
    std::vector<Detection> found;
    // Empty when the engine looked at the whole message; otherwise one sentence saying why it
    // could not, e.g. "ClamAV stopped at one of its limits (Heuristics.Limits.Exceeded.MaxFiles)".
    QString notFullyChecked;

    // Sorts one report in: ClamAV, asked to, reports a file it stopped scanning at one of its
    // limits (size, nesting, number of files, time) as a detection of the family
    // "Heuristics.Limits.Exceeded". That says nothing about the content, only that some of it
    // went unseen, so it is no detection. The first such report names the reason.
    void add(const Detection& report);
};

} // namespace scanner
