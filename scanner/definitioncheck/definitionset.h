// The definition check the scan run uses: every line of def.dat against a saved message, with the
// message read once for all definitions.
#pragma once

#include "scanner/definitioncheck/checkresult.h"

#include <QString>
#include <memory>

namespace scanner {

// Kept by the scanner for a whole run. Each check re-reads the definition file, so a change to it
// takes effect from the next message on, but the compiled matcher is rebuilt only when the file's
// content changed. A rebuild first looks in an on-disk cache (see MatcherCache), because compiling
// a large definition file takes seconds.
//
// Match rule: a message line contains a definition when the definition's bytes occur in it
// consecutively, ASCII letters compared without case and every other byte exactly.
// Definition lines end at CR LF, lone CR or lone LF; empty ones are skipped; duplicates count
// once each. Message lines end at CR LF or a lone CR; a lone LF stays inside the line.
//
// One thread only. A hit handler may pump the event loop and may even start another check on the
// same set: all reading and matching is finished before the first hit is handed out.
class DefinitionSet {
public:
    // How the last successful check got its matcher.
    enum class MatcherSource { None, Reused, Cache, Compiled };

    DefinitionSet();
    ~DefinitionSet();
    DefinitionSet(const DefinitionSet&) = delete;
    DefinitionSet& operator=(const DefinitionSet&) = delete;

    // Checks the message file against the definition file and calls onHit for each hit: grouped by
    // definition line in file order, within one definition by message line order, one hit per
    // definition line and message line however often it occurs there. Blocks until done without
    // pumping events: the message is read once, at roughly 2-3 GB/s with up to a thousand
    // definitions and 150 MB/s with 100,000; compiling 100,000 definitions takes about 5 s when
    // the cache has no entry for them. The handler is called only after both files were read
    // completely, so a failed check reports no hit at all.
    // Errors (result.ok false, text names the file): the definition file or the message file
    // cannot be opened or read; the definitions cannot be compiled. The message file is opened
    // even when the definition file holds no definitions, so a missing message is always noticed.
    CheckResult check(const QString& definitionPath, const QString& messagePath,
                      const HitHandler& onHit);

    // Bytes of the message read at a time (default 1 MiB, at least 1). Memory use of a check is
    // about this much plus the definitions, their compiled form and the hits.
    void setReadBlockSize(qsizetype bytes);
    qsizetype readBlockSize() const;

    // Where compiled matchers are cached; defaults to MatcherCache::defaultDirectory() as it was
    // when the set was made. An empty string disables the cache.
    void setCacheDirectory(const QString& directory);
    QString cacheDirectory() const;

    MatcherSource lastMatcherSource() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace scanner
