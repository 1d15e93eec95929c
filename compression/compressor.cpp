// Compressor handles, levels, and the block loop of the raw stream.
#include <new>

#include "compressor.h"

namespace xpress {

namespace {

// Index = level - 1.  Tuned on Wine's PE files (see bench/).
constexpr LevelParams kLevels[] = {
    {ParserKind::kGreedy, 1, 16, 0, 4},                 // 1
    {ParserKind::kGreedy, 4, 24, 0, kMaxEncodeMatchLength},   // 2
    {ParserKind::kLazy, 8, 32, 0, kMaxEncodeMatchLength},     // 3
    {ParserKind::kLazy, 16, 64, 0, kMaxEncodeMatchLength},    // 4
    {ParserKind::kLazy, 32, 96, 0, kMaxEncodeMatchLength},    // 5
    {ParserKind::kLazy, 64, 128, 0, kMaxEncodeMatchLength},   // 6
    {ParserKind::kNearOptimal, 16, 48, 2, 0},           // 7
    {ParserKind::kNearOptimal, 32, 96, 3, 0},           // 8
    {ParserKind::kNearOptimal, 64, 192, 4, 0},          // 9
};
static_assert(sizeof(kLevels) / sizeof(kLevels[0]) == kStrongestLevel, "one row per level");
static_assert(kFastestLevel <= kDefaultLevel && kDefaultLevel <= kStrongestLevel, "level range");

// The finder's positions stay below kRebaseThreshold: a block reaches at
// most kBlockSpan + kMaxEncodeMatchLength past its start.
constexpr std::size_t kMaxBlockReach = kBlockSpan + kMaxEncodeMatchLength;
static_assert(kMaxBlockReach < std::size_t(kRebaseThreshold) / 2, "room for one block above the threshold");

void RebaseIfNeeded(Compressor* c, std::size_t block_start) {
    if (block_start - c->mf_base + kMaxBlockReach < std::size_t(kRebaseThreshold)) return;
    const mf_pos_t delta = mf_pos_t(block_start - c->mf_base - kWindowSize);
    if (c->hc) c->hc->Rebase(delta);
    if (c->bt) c->bt->Rebase(delta);
    c->mf_base += std::size_t(delta);
}

}  // namespace

bool CreateCompressor(std::uint32_t algorithm, int level, Compressor** handle) {
    if (handle == nullptr) return false;
    *handle = nullptr;
    if (algorithm != COMPRESS_ALGORITHM_XPRESS_HUFF || level < kFastestLevel || level > kStrongestLevel)
        return false;
    std::unique_ptr<Compressor> c(new (std::nothrow) Compressor);
    if (!c) return false;
    c->level = level;
    c->params = kLevels[level - 1];
    if (c->params.parser == ParserKind::kNearOptimal)
        c->bt.reset(new (std::nothrow) BtMatchfinder);
    else
        c->hc.reset(new (std::nothrow) HcMatchfinder);
    if (!c->bt && !c->hc) return false;
    *handle = c.release();
    return true;
}

void CloseCompressor(Compressor* handle) { delete handle; }

int CompressorLevel(const Compressor* handle) { return handle->level; }

// Bound: a block covers at least kBlockSpan bytes unless it is the last, so
// there are at most ceil(n / kBlockSpan) blocks.  Each has a 256-byte table,
// the two priming words, at most one padded word, and a final end marker of
// at most 15 bits.  Everything else is at most 9 bits per input byte: the
// block's code is an optimal length-limited code, so it is never worse than
// the complete flat code of 512 symbols at 9 bits, under which a literal
// costs 9 bits per byte and a match (9 + up to 15 offset bits + escape
// bytes, at least 3 bytes long) at most 8.
std::size_t CompressRawBound(std::size_t inputSize) {
    constexpr std::size_t kPerBlock = kTableBytes + 4 + 2 + 2;
    const std::size_t blocks = inputSize / kBlockSpan + 1;
    return inputSize + inputSize / 8 + 1 + blocks * kPerBlock;
}

bool CompressRaw(Compressor* c, const void* input, std::size_t inputSize, void* output, std::size_t outputCapacity,
                 std::size_t* compressedSize) {
    *compressedSize = 0;
    if (inputSize == 0) return true;  // N = 0 needs no block: the decoder stops at once
    const u8* const in = static_cast<const u8*>(input);
    BitWriter out(static_cast<u8*>(output), outputCapacity);
    c->mf_base = 0;
    c->optimal.have_previous_code = false;
    if (c->hc) c->hc->Reset();
    if (c->bt) c->bt->Reset();

    std::size_t pos = 0;
    while (pos < inputSize) {
        RebaseIfNeeded(c, pos);
        std::size_t end;
        if (c->params.parser == ParserKind::kNearOptimal) {
            end = ParseBlockNearOptimal(c, in, inputSize, pos);
        } else {
            end = ParseBlockHashChains(c, in, inputSize, pos);
            CountSymbols(c->tokens.data(), c->tokens.size(), end == inputSize, c->freqs);
            BuildBlockCode(c->freqs, &c->code, &c->huffman);
        }
        WriteBlock(out, c->tokens.data(), c->tokens.size(), end == inputSize, c->code);
        if (out.overflow()) return false;
        pos = end;
    }
    *compressedSize = std::size_t(out.next() - static_cast<u8*>(output));
    return true;
}

}  // namespace xpress
