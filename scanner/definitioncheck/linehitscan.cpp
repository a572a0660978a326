// One pass over a saved message that finds, for every pattern, the message lines containing it.
#include "scanner/definitioncheck/linehitscan.h"

#include "scanner/definitioncheck/literalmatcher.h"
#include "scanner/definitioncheck/windowfilter.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>

namespace scanner {
namespace {

// Line ends are looked for only in blocks where a match lands: most blocks of a message have none,
// and finding every line end would cost more than the matching itself.
struct ScanState {
    const char* block = nullptr;
    qsizetype blockSize = 0;
    qint64 blockStart = 0;
    qint64 lineStartAtBlock = 0; // start of the line that holds the block's first byte
    bool crsFound = false;
    std::vector<qint64> crs;        // offsets of the block's CRs, once a match needed them
    std::vector<qint64> lastLineOf; // per pattern, the last line recorded, to drop repeats early
    std::vector<LineHit>* hits = nullptr;
    bool lost = false;

    void startBlock(const char* data, qsizetype size);
    void endBlock();
    qint64 lineStartOf(qint64 lastByte);
};

void ScanState::startBlock(const char* data, qsizetype size)
{
    block = data;
    blockSize = size;
    crsFound = false;
}

void ScanState::endBlock()
{
    if (crsFound) {
        if (!crs.empty()) {
            lineStartAtBlock = crs.back() + 1;
        }
    } else if (const void* cr = memrchr(block, '\r', size_t(blockSize))) {
        lineStartAtBlock = blockStart + (static_cast<const char*>(cr) - block) + 1;
    }
    blockStart += blockSize;
}

qint64 ScanState::lineStartOf(qint64 lastByte)
{
    if (!crsFound) {
        crs.clear();
        const char* const end = block + blockSize;
        for (const char* at = block; at < end;) {
            const void* cr = std::memchr(at, '\r', size_t(end - at));
            if (!cr) {
                break;
            }
            at = static_cast<const char*>(cr);
            crs.push_back(blockStart + (at - block));
            ++at;
        }
        crsFound = true;
    }
    // The match's own bytes hold no CR, so the last CR before its last byte ends the line before.
    const auto after = std::upper_bound(crs.begin(), crs.end(), lastByte);
    return after == crs.begin() ? lineStartAtBlock : *(after - 1) + 1;
}

void onMatch(unsigned pattern, quint64 end, void* context)
{
    auto* state = static_cast<ScanState*>(context);
    const qint64 lastByte = qint64(end) - 1;
    // Both engines report a match while the block holding its last byte is scanned; anything else
    // would leave us without the bytes to find its line, so it is treated as a failure.
    if (lastByte < state->blockStart || lastByte >= state->blockStart + state->blockSize ||
        pattern >= state->lastLineOf.size()) {
        state->lost = true;
        return;
    }
    const qint64 lineStart = state->lineStartOf(lastByte);
    if (state->lastLineOf[pattern] == lineStart) {
        return;
    }
    state->lastLineOf[pattern] = lineStart;
    state->hits->push_back({pattern, lineStart});
}

} // namespace

bool scanLineHits(const PatternMatchers& matchers, int patternCount, QIODevice& message,
                  qsizetype blockSize, std::vector<LineHit>* hits)
{
    hits->clear();
    ScanState state;
    state.lastLineOf.assign(size_t(patternCount), -1);
    state.hits = hits;
    blockSize = std::max<qsizetype>(blockSize, 1);
    // Both engines see each block behind the tail of the one before, so that a match across
    // blocks is whole in one buffer; matches that end in that tail were reported before.
    qsizetype longest = 1;
    if (matchers.literal) {
        longest = std::max(longest, matchers.literal->maxLength());
    }
    if (matchers.window) {
        longest = std::max(longest, matchers.window->maxLength());
    }
    const qsizetype history = longest - 1;
    // A file no larger than a block gets a buffer of its own size: most mail is a few K, and a
    // zeroed buffer of the full block per message cost more than checking the message.
    if (!message.isSequential()) {
        blockSize = std::clamp<qsizetype>(message.size() - message.pos(), 1, blockSize);
    }
    std::vector<char> buffer(size_t(history + blockSize + LiteralMatcher::kPadding));
    qsizetype kept = 0;
    for (;;) {
        char* const block = buffer.data() + kept;
        const qint64 got = message.read(block, blockSize);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        state.startBlock(block, got);
        const auto bufferOffset = quint64(state.blockStart - kept);
        if (matchers.literal &&
            !matchers.literal->scan(buffer.data(), kept + got, bufferOffset,
                                    quint64(state.blockStart), onMatch, &state)) {
            return false;
        }
        if (matchers.window) {
            matchers.window->scan(buffer.data(), kept + got, bufferOffset,
                                  quint64(state.blockStart), onMatch, &state);
        }
        if (state.lost) {
            return false;
        }
        state.endBlock();
        const qsizetype keep = std::min(history, kept + qsizetype(got));
        std::memmove(buffer.data(), buffer.data() + kept + got - keep, size_t(keep));
        kept = keep;
    }
    // Repeats are dropped early only when they come in order; this makes the result exact.
    std::sort(hits->begin(), hits->end());
    hits->erase(std::unique(hits->begin(), hits->end()), hits->end());
    return true;
}

} // namespace scanner
