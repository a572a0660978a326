// A compiled set of literal search strings (Vectorscan block-mode database) and its scratch space.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

struct hs_database;
struct hs_scratch;

namespace scanner {

class LiteralMatcher {
public:
    // Called for each occurrence of pattern number `pattern` ending just before stream offset
    // `end` (offsets count from the start of the stream). Several occurrences give several calls.
    using MatchCallback = void (*)(unsigned pattern, quint64 end, void* context);

    // Matches every pattern (non-empty; patterns[i] is reported as ids[i]) with ASCII letters
    // folded. Returns null and sets *error when Vectorscan refuses them.
    static std::unique_ptr<LiteralMatcher> compile(const QList<QByteArrayView>& patterns,
                                                   const std::vector<quint32>& ids, QString* error);
    // Rebuilds a matcher from serialize(); null when the bytes are not a usable database for this
    // machine and library.
    static std::unique_ptr<LiteralMatcher> deserialize(const QByteArray& bytes);

    ~LiteralMatcher();
    LiteralMatcher(const LiteralMatcher&) = delete;
    LiteralMatcher& operator=(const LiteralMatcher&) = delete;

    QByteArray serialize() const;

    // Bytes a caller must leave writable after the data it passes to scan().
    static constexpr qsizetype kPadding = 64;

    // The longest pattern, so a caller can keep its last maxLength() - 1 bytes in front of the
    // next buffer and see every match across buffers whole.
    qsizetype maxLength() const { return m_maxLength; }

    // Reports each match in data[0, size) whose end lies after stream offset `reportAfter`
    // (data[0] is at stream offset `offset`). Writes CRs into data[size, size + kPadding): the
    // library's AVX-512 code misses matches in the last 64 bytes of a buffer, and CR, which no
    // pattern holds, can neither match nor join a match. Returns false on a library failure.
    bool scan(char* data, qsizetype size, quint64 offset, quint64 reportAfter,
              MatchCallback onMatch, void* context) const;

private:
    LiteralMatcher(hs_database* database, hs_scratch* scratch, qsizetype maxLength);
    static std::unique_ptr<LiteralMatcher> adopt(hs_database* database, qsizetype maxLength);

    hs_database* m_database;
    hs_scratch* m_scratch;
    qsizetype m_maxLength;
};

} // namespace scanner
