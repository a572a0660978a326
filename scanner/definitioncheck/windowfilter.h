// Finds long search strings by sampling the message, for definition files too large for the
// literal matcher to stay fast.
#pragma once

#include "scanner/definitioncheck/literalmatcher.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <vector>

namespace scanner {

// With stride = (shortest pattern length) - 7, any stride consecutive 8-byte windows of a pattern
// fit in it, and an occurrence of the pattern has one of them on every stride-th byte of the data.
// So only those windows of the data are looked up (in a bit set first, then among the patterns'
// sampled windows) and each candidate is compared in full, ASCII letters without case. The cost
// hardly grows with the number of patterns, unlike an automaton's.
class WindowFilter {
public:
    static constexpr qsizetype kWindow = 8;
    static constexpr qsizetype kMinLength = 12;

    // patterns[i] is reported as ids[i]; every pattern must be at least kMinLength bytes.
    WindowFilter(const QList<QByteArrayView>& patterns, const std::vector<quint32>& ids);

    qsizetype maxLength() const { return m_maxLength; }

    // Scans bytes that start at stream offset `offset` and reports each match whose end lies
    // after `reportAfter` (earlier ones were seen in the previous call) and within the data. The
    // caller keeps the last maxLength() - 1 bytes of one call in front of the next, so a match
    // across calls is seen whole.
    void scan(const char* data, qsizetype size, quint64 offset, quint64 reportAfter,
              LiteralMatcher::MatchCallback onMatch, void* context) const;

private:
    struct Entry {
        quint64 window;  // with bit 5 of every byte set
        quint32 pattern; // index into m_patterns
        quint32 offset;  // of the window in the pattern
    };

    // Per pattern, the first of the stride windows that are looked up.
    std::vector<quint32> sampleStarts() const;
    void verify(const char* data, qsizetype size, qsizetype at, quint64 window, quint64 hash,
                quint64 offset, quint64 reportAfter, LiteralMatcher::MatchCallback onMatch,
                void* context) const;

    std::vector<QByteArray> m_patterns; // ASCII letters folded to small ones
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
