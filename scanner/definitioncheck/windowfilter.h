// Finds long search strings by sampling the message, for definition files too large for the
// literal matcher to stay fast.
#pragma once

#include "scanner/definitioncheck/literalmatcher.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

namespace scanner {

// Every pattern of at least kMinLength bytes contains, at one of its first `stride` offsets, an
// 8-byte window that starts at a message offset divisible by stride. So only every stride-th window
// of the message is looked up (a bit set first, then the windows themselves) and each candidate is
// compared in full. The cost hardly grows with the number of patterns, unlike an automaton's.
// Matching is on ASCII-folded bytes: patterns are folded here, the message by the caller.
class WindowFilter {
public:
    static constexpr qsizetype kWindow = 8;
    static constexpr qsizetype kMinLength = 12;

    // patterns[i] is reported as ids[i]; every pattern must be at least kMinLength bytes.
    WindowFilter(const QList<QByteArrayView>& patterns, const std::vector<quint32>& ids);

    qsizetype maxLength() const { return m_maxLength; }

    // Scans folded bytes that start at stream offset `offset` and reports each match whose end lies
    // after `reportAfter` (earlier ones were seen in the previous call) and within the data. The
    // caller keeps the last maxLength() - 1 bytes of one call in front of the next, so a match
    // across calls is seen whole.
    void scan(const char* folded, qsizetype size, quint64 offset, quint64 reportAfter,
              LiteralMatcher::MatchCallback onMatch, void* context) const;

    // Folds ASCII capitals to small letters, leaving every other byte alone.
    static void fold(char* data, qsizetype size);

private:
    struct Entry {
        quint64 window;
        quint32 pattern; // index into m_patterns
        quint32 offset;  // of the window in the pattern
    };

    void verify(const char* folded, qsizetype size, qsizetype at, quint64 window, quint64 hash,
                quint64 offset, quint64 reportAfter, LiteralMatcher::MatchCallback onMatch,
                void* context) const;

    std::vector<QByteArray> m_patterns; // folded
    std::vector<quint32> m_ids;
    qsizetype m_stride = 1;
    qsizetype m_maxLength = 0;
    int m_bitShift = 63;
    std::vector<quint64> m_bits;
    int m_bucketShift = 63;
    std::vector<quint32> m_bucketStart; // entries of bucket b: [m_bucketStart[b], [b + 1])
    std::vector<Entry> m_entries;
};

} // namespace scanner
