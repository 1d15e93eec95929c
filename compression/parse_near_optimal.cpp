// Near-optimal parsing: the strong levels.
//
// For one block (kBlockSpan bytes, or what is left) the binary-tree finder
// first collects every position's matches.  Then, `passes` times: a backward
// pass finds the cheapest token path to the block's end under the current
// bit costs, the path's symbols are counted, and the block's Huffman code
// built from them sets the costs of the next pass.  The last code is the one
// written.  Costs start from the previous block's code, or, for the first
// block, from the byte histogram.
//
// Tokens stop exactly at the block's end; matches still reach back into
// earlier blocks.
#include <algorithm>
#include <cmath>

#include "compressor.h"

namespace xpress {

namespace {

// Cost of a symbol the previous code did not use: it may well be worth using
// now, but should not look cheap.
constexpr u32 kUnusedSymbolCost = 12;

// Most matches one search can record: strictly increasing lengths from 3,
// the last possibly beyond nice_length.
constexpr u32 kMaxNiceLength = 258;
constexpr unsigned kMaxMatchesPerSearch = kMaxNiceLength - kMinMatchLength + 2;

struct Costs {
    u32 literal[kNumLiterals];
    u32 match[kMaxOffsetBits + 1][16];  // symbol cost plus the offset bits, by (offset bits, nibble)
};

void SetCostsFromLengths(const u8* lengths, Costs* costs)
{
    for (unsigned sym = 0; sym < kNumLiterals; sym++)
        costs->literal[sym] = lengths[sym] != 0 ? lengths[sym] : kUnusedSymbolCost;
    for (unsigned k = 0; k <= kMaxOffsetBits; k++) {
        for (unsigned n = 0; n < 16; n++) {
            const u8 len = lengths[kNumLiterals + (k << 4) + n];
            costs->match[k][n] = (len != 0 ? len : kUnusedSymbolCost) + k;
        }
    }
}

// First-block estimate: literal costs from the byte histogram, match
// symbols a flat 8 bits.
void SetInitialCosts(const u8* data, std::size_t size, Costs* costs)
{
    u32 counts[kNumLiterals] = {};
    for (std::size_t i = 0; i < size; i++)
        counts[data[i]]++;
    for (unsigned sym = 0; sym < kNumLiterals; sym++) {
        const double bits = counts[sym] ? std::log2(double(size) / counts[sym]) : kUnusedSymbolCost;
        costs->literal[sym] = u32(std::clamp(std::lround(bits), 1L, long(kMaxCodeLength)));
    }
    for (unsigned k = 0; k <= kMaxOffsetBits; k++)
        for (unsigned n = 0; n < 16; n++)
            costs->match[k][n] = 8 + k;
}

}  // namespace

bool ParseBlockNearOptimal(Compressor* c, const u8* in, std::size_t end, std::size_t block_start, bool final,
                           std::size_t* block_end)
{
    BtMatchfinder& mf = *c->bt;
    NearOptimalState& st = c->optimal;
    const LevelParams& p = c->params;
    const u8* const base = in + c->mf_base;
    const std::size_t span = std::min<std::size_t>(end - block_start, kBlockSpan);
    const u8* const block = in + block_start;
    const u32 nice_length = std::min(p.nice_length, kMaxNiceLength);

    // 1. Matches of every position.  After a match of nice_length or more,
    // the positions it covers are only inserted: the parse will take it.
    st.matches.Clear();
    Match found[kMaxMatchesPerSearch];
    std::size_t skip_until = 0;
    for (std::size_t i = 0; i < span; i++) {
        const std::size_t pos = block_start + i;
        st.match_begin[i] = u32(st.matches.size());
        const std::size_t left = end - pos;
        if (left < kMinSearchBytes)
            continue;
        const u32 max_length = u32(std::min<std::size_t>(left, kMaxEncodeMatchLength));
        const mf_pos_t cur = mf_pos_t(pos - c->mf_base);
        if (pos < skip_until) {
            mf.Advance<false>(base, cur, max_length, nice_length, p.search_depth, nullptr);
            continue;
        }
        const unsigned count = mf.Advance<true>(base, cur, max_length, nice_length, p.search_depth, found);
        if (!st.matches.Reserve(st.matches.size() + count))
            return false;
        for (unsigned j = 0; j < count; j++) {
            if (found[j].length == kMinMatchLength && found[j].offset > kMaxLength3Offset)
                continue;
            st.matches.Push(found[j]);
        }
        if (count != 0 && found[count - 1].length >= nice_length) {
            Match& longest = st.matches.back();
            longest.length = ExtendMatch(in + pos, in + pos - longest.offset, longest.length, max_length);
            skip_until = pos + longest.length;
        }
    }
    st.match_begin[span] = u32(st.matches.size());

    // 2. Cost passes.
    Costs costs;
    if (st.have_previous_code)
        SetCostsFromLengths(c->code.lengths, &costs);
    else
        SetInitialCosts(block, span, &costs);
    const bool with_end_marker = final && block_start + span == end;
    for (unsigned pass = 0; pass < p.passes; pass++) {
        st.cost[span] = 0;
        for (std::size_t i = span; i-- > 0;) {
            u32 best = costs.literal[block[i]] + st.cost[i + 1];
            Token best_token{0, block[i]};
            const u32 room = u32(span - i);
            u32 prev_length = kMinMatchLength - 1;
            for (u32 j = st.match_begin[i]; j < st.match_begin[i + 1] && prev_length < room; j++) {
                const Match& m = st.matches[j];
                const u32 max_len = std::min(m.length, room);
                const u32* match_costs = costs.match[FloorLog2(m.offset)];
                // Every length up to nice_length, beyond it only the full one.
                u32 len = prev_length + 1;
                const u32 scan_end = std::min(max_len, nice_length);
                for (; len <= scan_end; len++) {
                    const u32 nibble = std::min(len - kMinMatchLength, kLengthNibbleEscape);
                    const u32 cost = match_costs[nibble] + EscapeBits(len) + st.cost[i + len];
                    if (cost < best) {
                        best = cost;
                        best_token = Token{len, m.offset};
                    }
                }
                if (max_len > scan_end) {
                    const u32 cost = match_costs[kLengthNibbleEscape] + EscapeBits(max_len) + st.cost[i + max_len];
                    if (cost < best) {
                        best = cost;
                        best_token = Token{max_len, m.offset};
                    }
                }
                prev_length = max_len;
            }
            st.cost[i] = best;
            st.choice[i] = best_token;
        }

        c->tokens.Clear();
        for (std::size_t i = 0; i < span;) {
            const Token t = st.choice[i];
            c->tokens.Push(t);
            i += t.length == 0 ? 1 : t.length;
        }
        CountSymbols(c->tokens.data(), c->tokens.size(), with_end_marker, c->freqs);
        BuildBlockCode(c->freqs, &c->code, &c->huffman);
        SetCostsFromLengths(c->code.lengths, &costs);
    }
    st.have_previous_code = true;
    *block_end = block_start + span;
    return true;
}

}  // namespace xpress
