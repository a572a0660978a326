#include "scanner/hittext.h"

#include <algorithm>

namespace {

// At most `keep` characters of `text`: its start and end around an ellipsis.
QString shortenedInTheMiddle(const QString& text, qsizetype keep)
{
    if (text.size() <= keep) {
        return text;
    }
    qsizetype head = (keep + 1) / 2;
    qsizetype tail = keep - head;
    // Never split a surrogate pair.
    if (head > 0 && text.at(head - 1).isHighSurrogate()) {
        --head;
    }
    if (tail > 0 && text.at(text.size() - tail).isLowSurrogate()) {
        --tail;
    }
    return text.left(head) + QChar(0x2026) + text.right(tail);
}

} // namespace

QString hitText(const QString& definition, const QString& messageLine, const QString& savedFile)
{
    return QStringLiteral("Possible virus found!\r\rVirus Information:\rSearch String found in "
                          "definition file\r[") +
           definition + QStringLiteral("]:") + messageLine +
           QStringLiteral("\r\rThis E-Mail will now be deleted off the server. You can still view "
                          "the contents of this message by viewing the ") +
           savedFile + QStringLiteral(" file.");
}

QString fittedHitText(const QString& definition, const QString& messageLine,
                      const QString& savedFile, const std::function<bool(const QString&)>& fits)
{
    const QString full = hitText(definition, messageLine, savedFile);
    if (fits(full)) {
        return full;
    }
    const auto withKeep = [&](qsizetype keep) {
        return hitText(shortenedInTheMiddle(definition, keep),
                       shortenedInTheMiddle(messageLine, keep), savedFile);
    };
    // The longest cut that fits; the text only grows with `keep`, so halving finds it.
    qsizetype low = 0;
    qsizetype high = std::max(definition.size(), messageLine.size());
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (fits(withKeep(middle))) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return withKeep(low);
}
