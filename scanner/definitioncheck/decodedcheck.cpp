// The decoded check of one saved message.
#include "scanner/definitioncheck/decodedcheck.h"

#include "scanner/definitioncheck/definitionset.h"
#include "scanner/definitioncheck/messageparts.h"

#include <QIODevice>
#include <algorithm>

namespace scanner {

CheckResult checkDecodedParts(const DefinitionSet& definitions, const MessageParts& parts,
                              const QString& messagePath)
{
    if (!parts.isOpen()) {
        return CheckResult::failure(parts.error());
    }
    struct PartHit {
        qsizetype definition;
        QByteArray messageLine;
    };
    std::vector<PartHit> found;
    std::vector<DefinitionSet::TextHit> hits;
    for (qsizetype i = 0; i < parts.count(); ++i) {
        const auto open = [&parts, i] { return parts.openDecoded(i); };
        if (!definitions.findHits(open, kDecodedLineLimit, &hits)) {
            return CheckResult::failure(QStringLiteral("Cannot decode part %1 of message file %2")
                                            .arg(QString::fromUtf8(parts.label(i)), messagePath));
        }
        const QByteArray prefix = parts.label(i) + ": ";
        for (DefinitionSet::TextHit& hit : hits) {
            found.push_back({hit.definition, prefix + hit.line});
        }
    }
    // Parts come in file order and each part's hits by definition: a stable sort by definition
    // gives definition, then part, then line.
    std::stable_sort(found.begin(), found.end(), [](const PartHit& a, const PartHit& b) {
        return a.definition < b.definition;
    });
    CheckResult result;
    result.notFullyChecked = parts.unread();
    result.hits.reserve(found.size());
    for (PartHit& hit : found) {
        result.hits.push_back(
            {definitions.definitionLine(hit.definition), std::move(hit.messageLine)});
    }
    return result;
}

} // namespace scanner
