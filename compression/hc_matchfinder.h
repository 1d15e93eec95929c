// Hash-chain match finder for the greedy and lazy parsers.
//
// Chains link positions with equal hashes of their next 4 bytes: head4_[]
// holds the latest position per hash, prev_[] (circular over the window) the
// one before it.  Length-3 matches come from head3_[], one latest position
// per 3-byte hash, because chaining on 3 bytes fills the chains with
// candidates that rarely reach 4.  A search walks at most `depth` links and
// stops early at `nice_length`.
#pragma once

#include "matchfinder_common.h"

namespace xpress {

class HcMatchfinder {
public:
    static constexpr unsigned kHash3Bits = 14;
    static constexpr unsigned kHash4Bits = 16;

    void Reset()
    {
        for (auto& h : head3_)
            h = kNullPos;
        for (auto& h : head4_)
            h = kNullPos;
    }

    // Inserts `cur` (base-relative, 4 bytes readable) without searching.
    XPRESS_FORCEINLINE void Insert(const u8* base, mf_pos_t cur)
    {
        const u32 next4 = LoadU32(base + cur);
        head3_[HashBytes(next4 & 0xFFFFFF, kHash3Bits)] = cur;
        const u32 h4 = HashBytes(next4, kHash4Bits);
        prev_[u32(cur) & (kWindowSize - 1)] = head4_[h4];
        head4_[h4] = cur;
    }

    // Inserts `cur` and returns its longest match of at least 3 bytes within
    // max_length (>= kMinSearchBytes), or a length of 0.
    XPRESS_FORCEINLINE Match FindAndInsert(const u8* base, mf_pos_t cur, u32 max_length, u32 nice_length, u32 depth)
    {
        const u8* const s = base + cur;
        const u32 next4 = LoadU32(s);
        const u32 h3 = HashBytes(next4 & 0xFFFFFF, kHash3Bits);
        const u32 h4 = HashBytes(next4, kHash4Bits);
        const mf_pos_t cand3 = head3_[h3];
        head3_[h3] = cur;
        mf_pos_t node = head4_[h4];
        prev_[u32(cur) & (kWindowSize - 1)] = node;
        head4_[h4] = cur;

        const mf_pos_t cutoff = cur - mf_pos_t(kMaxOffset);
        if (nice_length > max_length)
            nice_length = max_length;
        Match best{0, 0};
        if (cand3 >= cutoff && ((LoadU32(base + cand3) ^ next4) & 0xFFFFFF) == 0)
            best = Match{3, u32(cur - cand3)};
        const u32 probe = best.length != 0 ? best.length : 3;  // a 4-byte match must also match here
        u32 best_length = probe;
        while (node >= cutoff && depth-- != 0) {
            const u8* m = base + node;
            // best_length < max_length here, so both reads are inside the input.
            if (m[best_length] == s[best_length] && LoadU32(m) == next4) {
                const u32 len = ExtendMatch(s, m, 4, max_length);
                if (len > best.length) {
                    best = Match{len, u32(cur - node)};
                    best_length = len;
                    if (len >= nice_length)
                        break;
                }
            }
            node = prev_[u32(node) & (kWindowSize - 1)];
        }
        return best;
    }

private:
    static constexpr std::size_t kHash3Size = std::size_t(1) << kHash3Bits;
    static constexpr std::size_t kHash4Size = std::size_t(1) << kHash4Bits;

    static XPRESS_FORCEINLINE u32 HashBytes(u32 bytes, unsigned bits) { return (bytes * 0x1E35A7BDu) >> (32 - bits); }

    mf_pos_t head3_[kHash3Size];
    mf_pos_t head4_[kHash4Size];
    mf_pos_t prev_[kWindowSize];
};

}  // namespace xpress
