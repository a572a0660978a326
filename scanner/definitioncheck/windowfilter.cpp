// Finds long search strings by sampling the message.
#include "scanner/definitioncheck/windowfilter.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace scanner {
namespace {

constexpr quint64 kMultiplier = 0x9E3779B97F4A7C15ull; // Fibonacci hashing: top bits are good
constexpr qsizetype kMaxStride = 8; // more windows per pattern cost memory for little gain

quint64 loadWindow(const char* at)
{
    quint64 window;
    std::memcpy(&window, at, sizeof window);
    return window;
}

// Setting bit 5 of every byte folds ASCII capitals onto small letters and, harmlessly for a
// pre-check, a few other byte pairs too; the full comparison of a candidate is exact.
constexpr quint64 kBit5 = 0x2020202020202020ull;

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsFolded(const char* data, const QByteArray& folded)
{
    for (qsizetype i = 0; i < folded.size(); ++i) {
        if (foldAscii(data[i]) != folded[i]) {
            return false;
        }
    }
    return true;
}

int log2Ceil(quint64 n)
{
    int bits = 0;
    while ((quint64(1) << bits) < n) {
        ++bits;
    }
    return bits;
}

} // namespace

WindowFilter::WindowFilter(const QList<QByteArrayView>& patterns, const std::vector<quint32>& ids)
    : m_ids(ids)
{
    qsizetype minLength = kMinLength + kMaxStride;
    for (const QByteArrayView pattern : patterns) {
        QByteArray folded = pattern.toByteArray();
        std::transform(folded.begin(), folded.end(), folded.begin(), foldAscii);
        minLength = std::min(minLength, folded.size());
        m_maxLength = std::max(m_maxLength, folded.size());
        m_patterns.push_back(std::move(folded));
    }
    m_stride = std::clamp<qsizetype>(minLength - kWindow + 1, 1, kMaxStride);

    // About one bit in 32 set keeps false candidates rare; about one entry per bucket keeps the
    // look-up of a candidate short.
    const quint64 entryCount = quint64(m_patterns.size()) * quint64(m_stride);
    const int bitsLog2 = std::clamp(log2Ceil(entryCount * 32), 6, 28);
    m_bitShift = 64 - bitsLog2;
    m_bits.assign(size_t(1) << (bitsLog2 - 6), 0);
    const int bucketsLog2 = std::clamp(log2Ceil(entryCount), 1, 24);
    m_bucketShift = 64 - bucketsLog2;
    m_bucketStart.assign((size_t(1) << bucketsLog2) + 1, 0);

    // Counting sort of the sampled windows by bucket.
    const std::vector<quint32> starts = sampleStarts();
    for (size_t index = 0; index < m_patterns.size(); ++index) {
        for (qsizetype at = starts[index]; at < starts[index] + m_stride; ++at) {
            const quint64 hash =
                (loadWindow(m_patterns[index].constData() + at) | kBit5) * kMultiplier;
            m_bits[(hash >> m_bitShift) >> 6] |= quint64(1) << ((hash >> m_bitShift) & 63);
            ++m_bucketStart[(hash >> m_bucketShift) + 1];
        }
    }
    std::partial_sum(m_bucketStart.begin(), m_bucketStart.end(), m_bucketStart.begin());
    std::vector<quint32> next(m_bucketStart.begin(), m_bucketStart.end() - 1);
    m_entries.resize(entryCount);
    for (quint32 index = 0; index < m_patterns.size(); ++index) {
        for (qsizetype at = starts[index]; at < starts[index] + m_stride; ++at) {
            const quint64 window = loadWindow(m_patterns[index].constData() + at) | kBit5;
            const quint64 bucket = (window * kMultiplier) >> m_bucketShift;
            m_entries[next[bucket]++] = {window, index, quint32(at)};
        }
    }
}

std::vector<quint32> WindowFilter::sampleStarts() const
{
    // A window shared by many patterns (a common prefix such as "http://www.") would make every
    // candidate there compare against all of them, so each pattern is sampled at the stride
    // windows that are rarest among all patterns' windows, counted roughly in a small sketch.
    constexpr int kSketchBits = 20;
    const auto slot = [](const char* at) {
        return ((loadWindow(at) | kBit5) * kMultiplier) >> (64 - kSketchBits);
    };
    std::vector<quint16> seen(size_t(1) << kSketchBits, 0);
    for (const QByteArray& pattern : m_patterns) {
        for (qsizetype at = 0; at + kWindow <= pattern.size(); ++at) {
            quint16& count = seen[slot(pattern.constData() + at)];
            count += count < 0xFFFF ? 1 : 0;
        }
    }
    std::vector<quint32> starts;
    starts.reserve(m_patterns.size());
    for (const QByteArray& pattern : m_patterns) {
        const char* const bytes = pattern.constData();
        quint64 sum = 0;
        for (qsizetype at = 0; at < m_stride; ++at) {
            sum += seen[slot(bytes + at)];
        }
        quint64 best = sum;
        qsizetype bestStart = 0;
        for (qsizetype start = 1; start + m_stride - 1 + kWindow <= pattern.size(); ++start) {
            sum += seen[slot(bytes + start + m_stride - 1)];
            sum -= seen[slot(bytes + start - 1)];
            if (sum < best) {
                best = sum;
                bestStart = start;
            }
        }
        starts.push_back(quint32(bestStart));
    }
    return starts;
}

void WindowFilter::scan(const char* data, qsizetype size, quint64 offset, quint64 reportAfter,
                        LiteralMatcher::MatchCallback onMatch, void* context) const
{
    const quint64* const bits = m_bits.data();
    const int shift = m_bitShift;
    // Any stride consecutive starts hold one sampled start, so every occurrence that lies wholly in
    // the data has exactly one sampled window inside it, wherever the sampling begins.
    for (qsizetype at = 0; at + kWindow <= size; at += m_stride) {
        const quint64 window = loadWindow(data + at) | kBit5;
        const quint64 hash = window * kMultiplier;
        const quint64 bit = hash >> shift;
        if ((bits[bit >> 6] >> (bit & 63)) & 1) {
            verify(data, size, at, window, hash, offset, reportAfter, onMatch, context);
        }
    }
}

void WindowFilter::verify(const char* data, qsizetype size, qsizetype at, quint64 window,
                          quint64 hash, quint64 offset, quint64 reportAfter,
                          LiteralMatcher::MatchCallback onMatch, void* context) const
{
    const quint64 bucket = hash >> m_bucketShift;
    for (quint32 e = m_bucketStart[bucket]; e < m_bucketStart[bucket + 1]; ++e) {
        const Entry& entry = m_entries[e];
        if (entry.window != window) {
            continue;
        }
        const qsizetype start = at - qsizetype(entry.offset);
        const QByteArray& pattern = m_patterns[entry.pattern];
        if (start < 0 || start + pattern.size() > size ||
            offset + quint64(start + pattern.size()) <= reportAfter) {
            continue;
        }
        if (equalsFolded(data + start, pattern)) {
            onMatch(m_ids[entry.pattern], offset + quint64(start + pattern.size()), context);
        }
    }
}

} // namespace scanner
