// A compiled set of literal search strings (Vectorscan streaming database) and its scratch space.
#include "scanner/definitioncheck/literalmatcher.h"

#include <algorithm>
#include <cstdlib>
#include <hs/hs.h>
#include <vector>

namespace scanner {
namespace {

struct Forward {
    LiteralMatcher::MatchCallback onMatch;
    void* context;
};

int forwardMatch(unsigned id, unsigned long long /*from*/, unsigned long long to,
                 unsigned /*flags*/, void* context)
{
    const auto* forward = static_cast<const Forward*>(context);
    forward->onMatch(id, to, forward->context);
    return 0;
}

QByteArray escapeEveryByte(QByteArrayView pattern)
{
    static constexpr char kHex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(pattern.size() * 4);
    for (char c : pattern) {
        const auto byte = static_cast<unsigned char>(c);
        out.append('\\').append('x').append(kHex[byte >> 4]).append(kHex[byte & 15]);
    }
    return out;
}

} // namespace

LiteralMatcher::LiteralMatcher(hs_database* database, hs_scratch* scratch)
    : m_database(database), m_scratch(scratch)
{
}

LiteralMatcher::~LiteralMatcher()
{
    hs_free_scratch(m_scratch);
    hs_free_database(m_database);
}

std::unique_ptr<LiteralMatcher> LiteralMatcher::adopt(hs_database* database)
{
    hs_scratch_t* scratch = nullptr;
    if (hs_alloc_scratch(database, &scratch) != HS_SUCCESS) {
        hs_free_database(database);
        return nullptr;
    }
    return std::unique_ptr<LiteralMatcher>(new LiteralMatcher(database, scratch));
}

std::unique_ptr<LiteralMatcher> LiteralMatcher::compile(const QList<QByteArrayView>& patterns,
                                                        const std::vector<quint32>& ids,
                                                        QString* error)
{
    // HS_FLAG_CASELESS folds ASCII letters only, which is the containment rule we want.
    const std::vector<unsigned> flags(size_t(patterns.size()), HS_FLAG_CASELESS);
    hs_database_t* database = nullptr;
    hs_compile_error_t* compileError = nullptr;
    hs_error_t status = HS_SUCCESS;
    // The literal API takes NUL bytes inside a pattern but reads one at the start as an empty
    // pattern; such sets go through the regular API with every byte escaped, which matches the
    // same.
    const bool leadingNul = std::any_of(patterns.begin(), patterns.end(),
                                        [](QByteArrayView p) { return p.startsWith('\0'); });
    if (!leadingNul) {
        std::vector<const char*> expressions;
        std::vector<size_t> lengths;
        for (const QByteArrayView pattern : patterns) {
            expressions.push_back(pattern.data()); // the lengths rule, no terminator needed
            lengths.push_back(size_t(pattern.size()));
        }
        status = hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                                      unsigned(patterns.size()), HS_MODE_STREAM, nullptr, &database,
                                      &compileError);
    } else {
        std::vector<QByteArray> escaped;
        for (const QByteArrayView pattern : patterns) {
            escaped.push_back(escapeEveryByte(pattern));
        }
        std::vector<const char*> expressions;
        for (const QByteArray& expression : escaped) {
            expressions.push_back(expression.constData());
        }
        status = hs_compile_multi(expressions.data(), flags.data(), ids.data(),
                                  unsigned(patterns.size()), HS_MODE_STREAM, nullptr, &database,
                                  &compileError);
    }
    if (status != HS_SUCCESS) {
        *error = QString::fromUtf8(compileError ? compileError->message : "unknown error");
        hs_free_compile_error(compileError);
        return nullptr;
    }
    auto matcher = adopt(database);
    if (!matcher) {
        *error = QStringLiteral("cannot allocate scratch space");
    }
    return matcher;
}

std::unique_ptr<LiteralMatcher> LiteralMatcher::deserialize(const QByteArray& bytes)
{
    hs_database_t* database = nullptr;
    if (hs_deserialize_database(bytes.constData(), size_t(bytes.size()), &database) != HS_SUCCESS) {
        return nullptr;
    }
    // A valid database of the wrong kind would fail only at the first scan; refuse it here.
    hs_stream_t* probe = nullptr;
    if (hs_open_stream(database, 0, &probe) != HS_SUCCESS) {
        hs_free_database(database);
        return nullptr;
    }
    hs_close_stream(probe, nullptr, nullptr, nullptr);
    return adopt(database);
}

QByteArray LiteralMatcher::serialize() const
{
    char* bytes = nullptr;
    size_t length = 0;
    if (hs_serialize_database(m_database, &bytes, &length) != HS_SUCCESS) {
        return {};
    }
    QByteArray copy(bytes, qsizetype(length));
    std::free(bytes); // the library's default misc allocator is malloc
    return copy;
}

LiteralMatcher::Stream::Stream(const LiteralMatcher& matcher) : m_matcher(matcher)
{
    if (hs_open_stream(m_matcher.m_database, 0, &m_stream) != HS_SUCCESS) {
        m_stream = nullptr;
    }
}

LiteralMatcher::Stream::~Stream()
{
    // Literals have no end-of-data matches, so nothing is lost by closing without a callback.
    if (m_stream) {
        hs_close_stream(m_stream, nullptr, nullptr, nullptr);
    }
}

bool LiteralMatcher::Stream::feed(const char* data, qsizetype size, MatchCallback onMatch,
                                  void* context)
{
    Forward forward{onMatch, context};
    // One call takes at most 4 GiB; keep well below so a huge caller block still works.
    constexpr qsizetype kMaxCall = qsizetype(1) << 30;
    while (size > 0) {
        const qsizetype part = std::min(size, kMaxCall);
        if (hs_scan_stream(m_stream, data, unsigned(part), 0, m_matcher.m_scratch, forwardMatch,
                           &forward) != HS_SUCCESS) {
            return false;
        }
        data += part;
        size -= part;
    }
    return true;
}

} // namespace scanner
