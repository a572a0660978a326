// A compiled set of literal search strings (Vectorscan block-mode database) and its scratch space.
#include "scanner/definitioncheck/literalmatcher.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <hs/hs.h>
#include <vector>

namespace scanner {
namespace {

struct Forward {
    LiteralMatcher::MatchCallback onMatch;
    void* context;
    quint64 offset;
    quint64 reportAfter;
};

int forwardMatch(unsigned id, unsigned long long /*from*/, unsigned long long to,
                 unsigned /*flags*/, void* context)
{
    const auto* forward = static_cast<const Forward*>(context);
    const quint64 end = forward->offset + to;
    if (end > forward->reportAfter) {
        forward->onMatch(id, end, forward->context);
    }
    return 0;
}

// The serialized form starts with the longest pattern's length, then the database.
constexpr qsizetype kLengthPrefix = 8;

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

LiteralMatcher::LiteralMatcher(hs_database* database, hs_scratch* scratch, qsizetype maxLength)
    : m_database(database), m_scratch(scratch), m_maxLength(maxLength)
{
}

LiteralMatcher::~LiteralMatcher()
{
    hs_free_scratch(m_scratch);
    hs_free_database(m_database);
}

std::unique_ptr<LiteralMatcher> LiteralMatcher::adopt(hs_database* database, qsizetype maxLength)
{
    hs_scratch_t* scratch = nullptr;
    if (hs_alloc_scratch(database, &scratch) != HS_SUCCESS) {
        hs_free_database(database);
        return nullptr;
    }
    return std::unique_ptr<LiteralMatcher>(new LiteralMatcher(database, scratch, maxLength));
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
                                      unsigned(patterns.size()), HS_MODE_BLOCK, nullptr, &database,
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
                                  unsigned(patterns.size()), HS_MODE_BLOCK, nullptr, &database,
                                  &compileError);
    }
    if (status != HS_SUCCESS) {
        *error = QString::fromUtf8(compileError ? compileError->message : "unknown error");
        hs_free_compile_error(compileError);
        return nullptr;
    }
    qsizetype maxLength = 0;
    for (const QByteArrayView pattern : patterns) {
        maxLength = std::max(maxLength, pattern.size());
    }
    auto matcher = adopt(database, maxLength);
    if (!matcher) {
        *error = QStringLiteral("cannot allocate scratch space");
    }
    return matcher;
}

std::unique_ptr<LiteralMatcher> LiteralMatcher::deserialize(const QByteArray& bytes)
{
    if (bytes.size() <= kLengthPrefix) {
        return nullptr;
    }
    const qsizetype maxLength = bytes.first(kLengthPrefix).toLongLong();
    hs_database_t* database = nullptr;
    if (maxLength <= 0 ||
        hs_deserialize_database(bytes.constData() + kLengthPrefix,
                                size_t(bytes.size() - kLengthPrefix), &database) != HS_SUCCESS) {
        return nullptr;
    }
    // A valid database of the wrong kind would fail only at the first scan; refuse it here.
    char* info = nullptr;
    const bool block =
        hs_database_info(database, &info) == HS_SUCCESS && QByteArrayView(info).contains("BLOCK");
    std::free(info);
    if (!block) {
        hs_free_database(database);
        return nullptr;
    }
    return adopt(database, maxLength);
}

QByteArray LiteralMatcher::serialize() const
{
    char* bytes = nullptr;
    size_t length = 0;
    if (hs_serialize_database(m_database, &bytes, &length) != HS_SUCCESS) {
        return {};
    }
    QByteArray copy = QByteArray::number(qlonglong(m_maxLength)).rightJustified(kLengthPrefix, '0');
    copy.append(bytes, qsizetype(length));
    std::free(bytes); // the library's default misc allocator is malloc
    return copy;
}

bool LiteralMatcher::scan(char* data, qsizetype size, quint64 offset, quint64 reportAfter,
                          MatchCallback onMatch, void* context) const
{
    std::memset(data + size, '\r', size_t(kPadding));
    Forward forward{onMatch, context, offset, reportAfter};
    // One call takes at most 4 GiB; callers pass blocks far smaller.
    return hs_scan(m_database, data, unsigned(size + kPadding), 0, m_scratch, forwardMatch,
                   &forward) == HS_SUCCESS;
}

} // namespace scanner
