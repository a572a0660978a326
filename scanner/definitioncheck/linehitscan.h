// One pass over a saved message that finds, for every pattern, the message lines containing it.
#pragma once

#include <QtGlobal>
#include <vector>

class QIODevice;

namespace scanner {

class LiteralMatcher;
class WindowFilter;

// A message line is named by the file offset just after the CR that ends the line before it (0 for
// the first line). That is unique and ordered like the lines, and the line can be read back from it
// without counting every line end of the message.
struct LineHit {
    quint32 pattern;
    qint64 lineStart;

    friend bool operator==(const LineHit&, const LineHit&) = default;
    friend auto operator<=>(const LineHit&, const LineHit&) = default;
};

// The engines that between them know every pattern; either may be null.
struct PatternMatchers {
    const LiteralMatcher* literal = nullptr;
    const WindowFilter* window = nullptr;
};

// Reads the message from its current position to its end in blocks of blockSize bytes (memory use
// is about one block plus the hits) and returns every (pattern, line) pair once, sorted by pattern
// and then line. Message lines end at CR LF or a lone CR; patterns hold neither CR nor LF, so no
// match can cross a line end. Returns false when reading or matching fails.
bool scanLineHits(const PatternMatchers& matchers, int patternCount, QIODevice& message,
                  qsizetype blockSize, std::vector<LineHit>* hits);

} // namespace scanner
