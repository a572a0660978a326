// Three messages beyond ClamAV's default limits, each hiding the EICAR test text where ClamAV
// stops looking: a zip nested 20 deep, a zip of 10,001 empty files followed by EICAR, and a 120 MB
// message with the zipped EICAR first. An engine must call each not fully checked, never clean.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace testmail {

struct OverLimitMessage {
    QString path;
    QByteArray limit; // the limit ClamAV names: "Heuristics.Limits.Exceeded." + limit
};

// Writes them into `folder` (the 120 MB one sparse: a hole where its big part is, so it costs no
// disk and little time) and gives them in the order above; empty when python3 failed.
std::vector<OverLimitMessage> writeOverLimitMessages(const QString& folder);

} // namespace testmail
