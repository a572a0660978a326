#include "scanner/clamav/clamavverdict.h"

namespace scanner {

void ClamAvVerdict::add(const Detection& report)
{
    if (!report.signature.startsWith("Heuristics.Limits.Exceeded")) {
        found.push_back(report);
        return;
    }
    if (notFullyChecked.isEmpty()) {
        notFullyChecked = QStringLiteral("ClamAV stopped at one of its limits (%1)")
                              .arg(QString::fromUtf8(report.signature));
    }
}

} // namespace scanner
