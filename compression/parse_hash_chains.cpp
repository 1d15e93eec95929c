// Greedy and lazy parsing over hash chains: the fast levels.
//
// Greedy takes the longest match found at each position.  Lazy also searches
// the next position and, if that finds a longer match, emits a literal and
// moves on, repeatedly; it costs about one more search per match.
#include "compressor.h"

namespace xpress {

namespace {

XPRESS_FORCEINLINE bool Worthwhile(const Match& m) {
    return m.length > kMinMatchLength || (m.length == kMinMatchLength && m.offset <= kMaxLength3Offset);
}

}  // namespace

std::size_t ParseBlockHashChains(Compressor* c, const u8* in, std::size_t in_size, std::size_t block_start) {
    HcMatchfinder& mf = *c->hc;
    const LevelParams& p = c->params;
    const bool lazy = p.parser == ParserKind::kLazy;
    const u8* const base = in + c->mf_base;
    const auto rel = [c](std::size_t pos) { return mf_pos_t(pos - c->mf_base); };
    const std::size_t limit = in_size - block_start > kBlockSpan ? block_start + kBlockSpan : in_size;
    const auto max_length_at = [in_size](std::size_t pos) {
        const std::size_t left = in_size - pos;
        return u32(left < kMaxEncodeMatchLength ? left : kMaxEncodeMatchLength);
    };

    std::vector<Token>& tokens = c->tokens;
    tokens.clear();
    std::size_t pos = block_start;
    while (pos < limit) {
        if (in_size - pos < kMinSearchBytes) {
            tokens.push_back(Token{0, in[pos++]});
            continue;
        }
        Match m = mf.FindAndInsert(base, rel(pos), max_length_at(pos), p.nice_length, p.search_depth);
        if (!Worthwhile(m)) {
            tokens.push_back(Token{0, in[pos++]});
            continue;
        }
        std::size_t inserted_end = pos + 1;  // positions below this are in the finder
        while (lazy && m.length < p.nice_length && pos + 1 < limit && in_size - (pos + 1) >= kMinSearchBytes) {
            const Match next = mf.FindAndInsert(base, rel(pos + 1), max_length_at(pos + 1), p.nice_length,
                                                p.search_depth);
            inserted_end = pos + 2;
            if (!Worthwhile(next) || next.length <= m.length) break;
            tokens.push_back(Token{0, in[pos++]});
            m = next;
        }
        tokens.push_back(Token{m.length, m.offset});
        const std::size_t match_end = pos + m.length;
        std::size_t insert_end = in_size - match_end >= kMinSearchBytes ? match_end : in_size - kMinSearchBytes + 1;
        if (insert_end - inserted_end > p.insert_limit) insert_end = inserted_end + p.insert_limit;
        for (std::size_t q = inserted_end; q < insert_end; q++) mf.Insert(base, rel(q));
        pos = match_end;
    }
    return pos;
}

}  // namespace xpress
