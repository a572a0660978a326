// The definition check the scan run uses.
#include "scanner/definitioncheck/definitionset.h"

#include "platform/regularfile.h"
#include "scanner/definitioncheck/definitionlines.h"
#include "scanner/definitioncheck/linehitscan.h"
#include "scanner/definitioncheck/linereader.h"
#include "scanner/definitioncheck/literalmatcher.h"
#include "scanner/definitioncheck/matchercache.h"
#include "scanner/definitioncheck/windowfilter.h"

#include <QFile>
#include <algorithm>
#include <optional>
#include <unordered_map>

namespace scanner {
namespace {

constexpr qsizetype kDefaultBlockSize = qsizetype(1) << 20;
// Measured: up to a few thousand definitions the literal matcher is faster than sampling; beyond,
// its time grows with the count while sampling's hardly does.
constexpr qsizetype kDefaultSamplingThreshold = 5000;
// Vectorscan refuses a literal over 16,000 bytes ("Pattern length exceeds limit") and with it the
// whole set; longer ones go to the window filter, which takes any length, with room to spare.
constexpr qsizetype kLongestLiteral = 8192;

// Definition lines that differ only in ASCII case find the same message lines, so each distinct
// text is compiled once as a pattern and every line that has it reports the pattern's hits.
struct Definitions {
    QByteArray content; // the file as read; never modified, the views below point into it
    QList<QByteArrayView> lines;
    qsizetype blankLines = 0;
    std::vector<quint32> patternOf; // per line
    QList<QByteArrayView> patterns;
    // Between them they find every pattern; either is null when it has none.
    std::unique_ptr<LiteralMatcher> literal;
    std::unique_ptr<WindowFilter> window;
};

unsigned char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a')
                                  : static_cast<unsigned char>(c);
}

struct FoldedHash {
    size_t operator()(QByteArrayView text) const
    {
        quint64 hash = 14695981039346656037ull; // FNV-1a
        for (char c : text) {
            hash = (hash ^ foldAscii(c)) * 1099511628211ull;
        }
        return size_t(hash);
    }
};

struct FoldedEqual {
    bool operator()(QByteArrayView a, QByteArrayView b) const
    {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return foldAscii(x) == foldAscii(y); });
    }
};

std::unique_ptr<Definitions> indexDefinitions(const QByteArray& content)
{
    auto definitions = std::make_unique<Definitions>();
    definitions->content = content;
    DefinitionLines split = splitDefinitionLines(definitions->content);
    definitions->lines = std::move(split.lines);
    definitions->blankLines = split.blankLines;
    std::unordered_map<QByteArrayView, quint32, FoldedHash, FoldedEqual> byFoldedText;
    byFoldedText.reserve(size_t(definitions->lines.size()));
    definitions->patternOf.reserve(size_t(definitions->lines.size()));
    for (const QByteArrayView line : std::as_const(definitions->lines)) {
        const auto [it, added] =
            byFoldedText.try_emplace(line, quint32(definitions->patterns.size()));
        if (added) {
            definitions->patterns.append(line);
        }
        definitions->patternOf.push_back(it->second);
    }
    return definitions;
}

std::optional<QByteArray> readDefinitionFile(const QString& path, QString* error)
{
    QFile file;
    QString reason;
    if (!platform::openRegularFile(file, path, &reason)) {
        *error = QStringLiteral("Cannot open definition file %1: %2").arg(path, reason);
        return std::nullopt;
    }
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read definition file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return content;
}

// Line texts of all hits, by line start, read in one ascending sweep.
std::optional<std::vector<std::pair<qint64, QByteArray>>>
readHitLines(QIODevice& message, const std::vector<LineHit>& hits, qsizetype lineLimit = -1)
{
    std::vector<qint64> starts;
    starts.reserve(hits.size());
    for (const LineHit& hit : hits) {
        starts.push_back(hit.lineStart);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

    std::vector<std::pair<qint64, QByteArray>> lines;
    lines.reserve(starts.size());
    LineReader reader(message, 64 * 1024, lineLimit);
    for (qint64 start : starts) {
        std::optional<QByteArray> line = reader.lineAt(start);
        if (!line) {
            return std::nullopt;
        }
        lines.emplace_back(start, std::move(*line));
    }
    return lines;
}

// Calls onHit(definition line index, message line) grouped by definition line in file order, each
// group in message line order.
template <typename OnHit>
void forEachHit(const Definitions& definitions, const std::vector<LineHit>& hits,
                const std::vector<std::pair<qint64, QByteArray>>& lines, const OnHit& onHit)
{
    for (qsizetype i = 0; i < definitions.lines.size(); ++i) {
        const quint32 pattern = definitions.patternOf[size_t(i)];
        auto hit = std::lower_bound(hits.begin(), hits.end(), LineHit{pattern, -1});
        for (; hit != hits.end() && hit->pattern == pattern; ++hit) {
            const auto line = std::lower_bound(
                lines.begin(), lines.end(), hit->lineStart,
                [](const auto& entry, qint64 start) { return entry.first < start; });
            onHit(i, line->second);
        }
    }
}

} // namespace

struct DefinitionSet::Private {
    qsizetype blockSize = kDefaultBlockSize;
    qsizetype samplingThreshold = kDefaultSamplingThreshold;
    QString cacheDirectory = MatcherCache::defaultDirectory();
    std::unique_ptr<const Definitions> definitions;
    MatcherSource source = MatcherSource::None;

    bool rebuild(const QByteArray& content, QString* error);
    bool buildLiteral(Definitions& fresh, const QList<QByteArrayView>& patterns,
                      const std::vector<quint32>& ids, QByteArrayView variant, QString* error);
};

bool DefinitionSet::Private::rebuild(const QByteArray& content, QString* error)
{
    definitions.reset();
    std::unique_ptr<Definitions> fresh = indexDefinitions(content);
    const auto isLong = [](QByteArrayView p) { return p.size() >= WindowFilter::kMinLength; };
    const bool sample = std::count_if(fresh->patterns.begin(), fresh->patterns.end(), isLong) >=
                        std::max<qsizetype>(samplingThreshold, 1);
    QList<QByteArrayView> literalPatterns, windowPatterns;
    std::vector<quint32> literalIds, windowIds;
    for (quint32 id = 0; id < quint32(fresh->patterns.size()); ++id) {
        const QByteArrayView pattern = fresh->patterns[id];
        const bool toWindow = (sample && isLong(pattern)) || pattern.size() > kLongestLiteral;
        (toWindow ? windowPatterns : literalPatterns).append(pattern);
        (toWindow ? windowIds : literalIds).push_back(id);
    }
    source = MatcherSource::Compiled;
    if (!windowPatterns.isEmpty()) {
        fresh->window = std::make_unique<WindowFilter>(windowPatterns, windowIds);
    }
    // The split decides what the literal matcher holds, so it is part of the cache key.
    const QByteArrayView variant = sample ? "sampled" : "all";
    if (!literalPatterns.isEmpty() &&
        !buildLiteral(*fresh, literalPatterns, literalIds, variant, error)) {
        return false;
    }
    definitions = std::move(fresh);
    return true;
}

bool DefinitionSet::Private::buildLiteral(Definitions& fresh, const QList<QByteArrayView>& patterns,
                                          const std::vector<quint32>& ids, QByteArrayView variant,
                                          QString* error)
{
    const MatcherCache cache(cacheDirectory);
    const QString key = MatcherCache::keyFor(fresh.content, variant);
    if (const QByteArray stored = cache.load(key); !stored.isEmpty()) {
        fresh.literal = LiteralMatcher::deserialize(stored);
        source = MatcherSource::Cache;
    }
    if (!fresh.literal) {
        fresh.literal = LiteralMatcher::compile(patterns, ids, error);
        if (!fresh.literal) {
            return false;
        }
        source = MatcherSource::Compiled;
        cache.store(key, fresh.literal->serialize());
    }
    return true;
}

DefinitionSet::DefinitionSet() : d(std::make_unique<Private>()) {}

DefinitionSet::~DefinitionSet() = default;

CheckResult DefinitionSet::check(const QString& definitionPath, const QString& messagePath)
{
    QString error;
    const std::optional<QByteArray> content = readDefinitionFile(definitionPath, &error);
    if (!content) {
        return CheckResult::failure(error);
    }
    // Unbuffered: blocks go straight into our buffer instead of through QIODevice's own.
    QFile message;
    QString reason;
    if (!platform::openRegularFile(message, messagePath, &reason, true)) {
        return CheckResult::failure(
            QStringLiteral("Cannot open message file %1: %2").arg(messagePath, reason));
    }
    // Comparing the bytes is cheaper than hashing them and cannot be fooled by a collision.
    if (d->definitions && *content == d->definitions->content) {
        d->source = MatcherSource::Reused;
    } else if (!d->rebuild(*content, &error)) {
        return CheckResult::failure(
            QStringLiteral("Cannot compile definition file %1: %2").arg(definitionPath, error));
    }
    const Definitions& definitions = *d->definitions;
    if (definitions.patterns.isEmpty()) {
        return {};
    }

    std::vector<LineHit> hits;
    const auto readFailure = [&] {
        const QString reason = message.error() != QFileDevice::NoError
                                   ? message.errorString()
                                   : QStringLiteral("the matcher failed");
        return CheckResult::failure(
            QStringLiteral("Cannot read message file %1: %2").arg(messagePath, reason));
    };
    const PatternMatchers matchers{definitions.literal.get(), definitions.window.get()};
    if (!scanLineHits(matchers, int(definitions.patterns.size()), message, d->blockSize, &hits)) {
        return readFailure();
    }
    const auto lines = readHitLines(message, hits);
    if (!lines) {
        return readFailure();
    }

    CheckResult result;
    forEachHit(definitions, hits, *lines, [&](qsizetype i, const QByteArray& line) {
        result.hits.push_back({definitions.lines[i].toByteArray(), line});
    });
    return result;
}

bool DefinitionSet::findHits(const TextSource& open, qsizetype lineLimit,
                             std::vector<TextHit>* hits) const
{
    hits->clear();
    const Definitions* definitions = d->definitions.get();
    if (!definitions || definitions->patterns.isEmpty()) {
        return true;
    }
    std::vector<LineHit> lineHits;
    const std::unique_ptr<QIODevice> text = open();
    const PatternMatchers matchers{definitions->literal.get(), definitions->window.get()};
    if (!text || !scanLineHits(matchers, int(definitions->patterns.size()), *text, d->blockSize,
                               &lineHits)) {
        return false;
    }
    if (lineHits.empty()) {
        return true;
    }
    const std::unique_ptr<QIODevice> again = open();
    const auto lines = again ? readHitLines(*again, lineHits, lineLimit) : std::nullopt;
    if (!lines) {
        return false;
    }
    forEachHit(*definitions, lineHits, *lines, [hits](qsizetype i, const QByteArray& line) {
        hits->push_back({i, line});
    });
    return true;
}

QByteArray DefinitionSet::definitionLine(qsizetype index) const
{
    return d->definitions->lines.at(index).toByteArray();
}

void DefinitionSet::setReadBlockSize(qsizetype bytes)
{
    d->blockSize = std::max<qsizetype>(bytes, 1);
}

qsizetype DefinitionSet::readBlockSize() const
{
    return d->blockSize;
}

void DefinitionSet::setSamplingThreshold(qsizetype definitions)
{
    if (definitions != d->samplingThreshold) {
        d->samplingThreshold = definitions;
        d->definitions.reset(); // the next check splits the definitions anew
    }
}

qsizetype DefinitionSet::samplingThreshold() const
{
    return d->samplingThreshold;
}

void DefinitionSet::setCacheDirectory(const QString& directory)
{
    d->cacheDirectory = directory;
}

QString DefinitionSet::cacheDirectory() const
{
    return d->cacheDirectory;
}

qsizetype DefinitionSet::blankLinesSkipped() const
{
    return d->definitions ? d->definitions->blankLines : 0;
}

DefinitionSet::MatcherSource DefinitionSet::lastMatcherSource() const
{
    return d->source;
}

} // namespace scanner
