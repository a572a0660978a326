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
        fold(folded.data(), folded.size());
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

    // Counting sort of the windows by bucket.
    for (const QByteArray& pattern : m_patterns) {
        for (qsizetype at = 0; at < m_stride; ++at) {
            const quint64 hash = loadWindow(pattern.constData() + at) * kMultiplier;
            m_bits[(hash >> m_bitShift) >> 6] |= quint64(1) << ((hash >> m_bitShift) & 63);
            ++m_bucketStart[(hash >> m_bucketShift) + 1];
        }
    }
    std::partial_sum(m_bucketStart.begin(), m_bucketStart.end(), m_bucketStart.begin());
    std::vector<quint32> next(m_bucketStart.begin(), m_bucketStart.end() - 1);
    m_entries.resize(entryCount);
    for (quint32 index = 0; index < m_patterns.size(); ++index) {
        for (qsizetype at = 0; at < m_stride; ++at) {
            const quint64 window = loadWindow(m_patterns[index].constData() + at);
            const quint64 bucket = (window * kMultiplier) >> m_bucketShift;
            m_entries[next[bucket]++] = {window, index, quint32(at)};
        }
    }
}

void WindowFilter::scan(const char* folded, qsizetype size, quint64 offset, quint64 reportAfter,
                        LiteralMatcher::MatchCallback onMatch, void* context) const
{
    const quint64* const bits = m_bits.data();
    const int shift = m_bitShift;
    // Windows are sampled at message offsets divisible by the stride, whatever the block size.
    for (qsizetype at = qsizetype((m_stride - offset % m_stride) % m_stride); at + kWindow <= size;
         at += m_stride) {
        const quint64 window = loadWindow(folded + at);
        const quint64 hash = window * kMultiplier;
        const quint64 bit = hash >> shift;
        if ((bits[bit >> 6] >> (bit & 63)) & 1) {
            verify(folded, size, at, window, hash, offset, reportAfter, onMatch, context);
        }
    }
}

void WindowFilter::verify(const char* folded, qsizetype size, qsizetype at, quint64 window,
                          quint64 hash, quint64 offset, quint64 reportAfter,
                          LiteralMatcher::MatchCallback onMatch, void* context) const
{
    const quint64 bucket = hash >> m_bucketShift;
    for (quint32 e = m_bucketStart[bucket]; e < m_bucketStart[bucket + 1]; ++e) {
        const Entry& entry = m_entries[e];
        if (entry.window != window) {
            continue;
        }
        // Each occurrence holds exactly one sampled window, so it is reported exactly once.
        const qsizetype start = at - qsizetype(entry.offset);
        const QByteArray& pattern = m_patterns[entry.pattern];
        if (start < 0 || start + pattern.size() > size ||
            offset + quint64(start + pattern.size()) <= reportAfter) {
            continue;
        }
        if (std::memcmp(folded + start, pattern.constData(), size_t(pattern.size())) == 0) {
            onMatch(m_ids[entry.pattern], offset + quint64(start + pattern.size()), context);
        }
    }
}

void WindowFilter::fold(char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        data[i] = char(c | (static_cast<unsigned char>(c - 'A') < 26 ? 0x20 : 0));
    }
}

} // namespace scanner
