// Greedy and lazy parsing over hash chains: the fast levels.
//
// Greedy takes the longest match found at each position.  Lazy also searches
// the next position while the match in hand is shorter than lazy_below and,
// if that finds a longer match, emits a literal and moves on, repeatedly; it
// costs up to one more search per match.
//
// A match is cut at the block's end, so that blocks fall on the 64 KiB grid
// and a segment's last block ends with the segment.
#include "compressor.h"

namespace xpress {

namespace {

XPRESS_FORCEINLINE bool Worthwhile(const Match& m)
{
    return m.length > kMinMatchLength || (m.length == kMinMatchLength && m.offset <= kMaxLength3Offset);
}

}  // namespace

std::size_t ParseBlockHashChains(Compressor* c, const u8* in, std::size_t end, std::size_t block_start)
{
    HcMatchfinder& mf = *c->hc;
    const LevelParams& p = c->params;
    const u8* const base = in + c->mf_base;
    const auto rel = [c](std::size_t pos) { return mf_pos_t(pos - c->mf_base); };
    const std::size_t limit = end - block_start > kBlockSpan ? block_start + kBlockSpan : end;
    const auto max_length_at = [limit](std::size_t pos) {
        const std::size_t left = limit - pos;
        return u32(left < kMaxEncodeMatchLength ? left : kMaxEncodeMatchLength);
    };

    // Symbols are counted as tokens are made, which saves a pass over them.
    Array<Token>& tokens = c->tokens;
    tokens.Clear();
    u32* const freqs = c->freqs;
    std::memset(freqs, 0, sizeof(c->freqs));
    const auto literal = [&](u8 byte) {
        tokens.Push(Token{0, byte});
        freqs[byte]++;
    };
    std::size_t pos = block_start;
    while (pos < limit) {
        if (limit - pos < kMinSearchBytes) {
            literal(in[pos++]);
            continue;
        }
        Match m = mf.FindAndInsert(base, rel(pos), max_length_at(pos), p.nice_length, p.search_depth);
        if (!Worthwhile(m)) {
            literal(in[pos++]);
            continue;
        }
        std::size_t inserted_end = pos + 1;  // positions below this are in the finder
        while (m.length < p.lazy_below && limit - (pos + 1) >= kMinSearchBytes) {
            const Match next =
                mf.FindAndInsert(base, rel(pos + 1), max_length_at(pos + 1), p.nice_length, p.search_depth);
            inserted_end = pos + 2;
            if (!Worthwhile(next) || next.length <= m.length)
                break;
            literal(in[pos++]);
            m = next;
        }
        tokens.Push(Token{m.length, m.offset});
        freqs[MatchSymbol(m.length, m.offset)]++;
        const std::size_t match_end = pos + m.length;
        std::size_t insert_end = end - match_end >= kMinSearchBytes ? match_end : end - kMinSearchBytes + 1;
        if (insert_end - inserted_end > p.insert_limit)
            insert_end = inserted_end + p.insert_limit;
        for (std::size_t q = inserted_end; q < insert_end; q++)
            mf.Insert(base, rel(q));
        pos = match_end;
    }
    return pos;
}

}  // namespace xpress
