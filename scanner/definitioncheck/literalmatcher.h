// A compiled set of literal search strings (Vectorscan streaming database) and its scratch space.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

struct hs_database;
struct hs_scratch;
struct hs_stream;

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

    // One pass over one message. Feed its bytes in order, in blocks of any size.
    class Stream {
    public:
        explicit Stream(const LiteralMatcher& matcher);
        ~Stream();
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;

        bool isValid() const { return m_stream != nullptr; }
        // Returns false on a library failure (the matches reported so far stay valid).
        bool feed(const char* data, qsizetype size, MatchCallback onMatch, void* context);

    private:
        const LiteralMatcher& m_matcher;
        hs_stream* m_stream = nullptr;
    };

private:
    LiteralMatcher(hs_database* database, hs_scratch* scratch);
    static std::unique_ptr<LiteralMatcher> adopt(hs_database* database);

    hs_database* m_database;
    hs_scratch* m_scratch;
};

} // namespace scanner
