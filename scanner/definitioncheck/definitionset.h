// The definition check the scan run uses: every line of def.dat against a saved message, with the
// message read once for all definitions.
#pragma once

#include "scanner/definitioncheck/checkresult.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;

namespace scanner {

// Kept by the scanner for a whole run. Each check re-reads the definition file, so a change to it
// takes effect from the next message on, but the matcher is rebuilt only when the file's content
// changed. Definitions are found by Vectorscan's literal matcher, or, when there are many, the long
// ones by sampling (WindowFilter), whose speed does not drop with their number. A rebuild first
// looks for the compiled Vectorscan part in an on-disk cache (see MatcherCache), because compiling
// many definitions takes seconds.
//
// Match rule: a message line contains a definition when the definition's bytes occur in it
// consecutively, ASCII letters compared without case and every other byte exactly.
// Definition lines end at CR LF, lone CR or lone LF; a leading UTF-8 byte-order mark is dropped;
// empty ones and those of only blanks and tabs are skipped; duplicates count once each. Lines of
// any length are checked. Message lines end at CR LF or a lone CR; a lone LF stays inside the line.
//
// One thread only.
class DefinitionSet {
public:
    // How the last successful check got its matcher: kept from the check before, rebuilt with the
    // compiled part from the disk cache, or rebuilt from scratch (also when nothing needed the
    // compiler).
    enum class MatcherSource { None, Reused, Cache, Compiled };

    DefinitionSet();
    ~DefinitionSet();
    DefinitionSet(const DefinitionSet&) = delete;
    DefinitionSet& operator=(const DefinitionSet&) = delete;

    // Checks the message file against the definition file and returns the hits: grouped by
    // definition line in file order, within one definition by message line order, one hit per
    // definition line and message line however often it occurs there. Blocks until done without
    // pumping events: the message is read once, at about 3 GB/s with a thousand definitions and
    // 0.7 GB/s with 100,000 (measured on one core of a 2.6 GHz server); a rebuild after def.dat
    // changed adds up to about 0.1 s, or seconds when many definitions shorter than 12 bytes must
    // be compiled and the cache has no entry for them.
    // Errors (result.ok false, no hits, text names the file): the definition file or the message
    // file cannot be opened or read; the definitions cannot be compiled. The message file is
    // opened even when the definition file holds no definitions, so a missing message is always
    // noticed.
    CheckResult check(const QString& definitionPath, const QString& messagePath);

    // A hit in a text that is not a saved file (a decoded attachment): the index of the definition
    // line in the file and the text's line, cut to lineLimit bytes.
    struct TextHit {
        qsizetype definition;
        QByteArray line;
    };
    // Gives the text from its start as a fresh device (sequential is fine), or null on failure.
    using TextSource = std::function<std::unique_ptr<QIODevice>()>;

    // Finds the hits of one text against the definitions of the last successful check, by the
    // same rules, in the order that check reports them. The text is opened once to match it and
    // once more to read the hit lines back, only when there are hits. Memory use is one read block
    // plus the hits, whatever the text's length. Returns false when opening or reading fails.
    bool findHits(const TextSource& open, qsizetype lineLimit, std::vector<TextHit>* hits) const;

    // The definition line of that index in the last successful check (as findHits names it).
    QByteArray definitionLine(qsizetype index) const;

    // Bytes of the message read at a time (default 1 MiB, at least 1). Memory use of a check is
    // about this much plus the definitions, their compiled form and the hits.
    void setReadBlockSize(qsizetype bytes);
    qsizetype readBlockSize() const;

    // From how many distinct definitions of at least 12 bytes on these are found by sampling the
    // message (see WindowFilter) instead of by Vectorscan, whose time grows with their number.
    // Default 5000; 1 samples always, a huge value never. A change rebuilds at the next check.
    void setSamplingThreshold(qsizetype definitions);
    qsizetype samplingThreshold() const;

    // Where compiled matchers are cached; defaults to MatcherCache::defaultDirectory() as it was
    // when the set was made. An empty string disables the cache.
    void setCacheDirectory(const QString& directory);
    QString cacheDirectory() const;

    MatcherSource lastMatcherSource() const;

    // Lines of only blanks and tabs that the definitions of the last check held (and skipped).
    qsizetype blankLinesSkipped() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace scanner
