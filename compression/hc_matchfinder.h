// Hash-chain match finder for the greedy and lazy parsers.
//
// head[] maps a hash of the next 3 bytes to the latest position with that
// hash; prev[] (circular over the window) links each position to the one
// before it with the same hash.  A search walks at most `depth` links and
// stops early at `nice_length`.
#pragma once

#include "matchfinder_common.h"

namespace xpress {

class HcMatchfinder {
public:
    static constexpr unsigned kHashBits = 15;

    void Reset() {
        for (auto& h : head_) h = kNullPos;
    }

    void Rebase(mf_pos_t delta) {
        RebasePositions(head_, kHashSize, delta);
        RebasePositions(prev_, kWindowSize, delta);
    }

    // Inserts `cur` (base-relative, 4 bytes readable) without searching.
    XPRESS_FORCEINLINE void Insert(const u8* base, mf_pos_t cur) {
        const u32 h = Hash3(base + cur, kHashBits);
        prev_[u32(cur) & (kWindowSize - 1)] = head_[h];
        head_[h] = cur;
    }

    // Inserts `cur` and returns its longest match of at least 3 bytes within
    // max_length (>= kMinSearchBytes), or a length of 0.
    XPRESS_FORCEINLINE Match FindAndInsert(const u8* base, mf_pos_t cur, u32 max_length, u32 nice_length,
                                           u32 depth) {
        const u8* const s = base + cur;
        const u32 h = Hash3(s, kHashBits);
        mf_pos_t node = head_[h];
        prev_[u32(cur) & (kWindowSize - 1)] = node;
        head_[h] = cur;

        const mf_pos_t cutoff = cur - mf_pos_t(kMaxOffset);
        if (nice_length > max_length) nice_length = max_length;
        Match best{kMinMatchLength - 1, 0};
        const u32 first3 = LoadU32(s) & 0xFFFFFF;
        while (node >= cutoff && depth-- != 0) {
            const u8* m = base + node;
            // best.length < max_length here, so both reads are inside the input.
            if (m[best.length] == s[best.length] && (LoadU32(m) & 0xFFFFFF) == first3) {
                const u32 len = ExtendMatch(s, m, 3, max_length);
                if (len > best.length) {
                    best = Match{len, u32(cur - node)};
                    if (len >= nice_length) break;
                }
            }
            node = prev_[u32(node) & (kWindowSize - 1)];
        }
        if (best.offset == 0) best.length = 0;
        return best;
    }

private:
    static constexpr std::size_t kHashSize = std::size_t(1) << kHashBits;
    mf_pos_t head_[kHashSize];
    mf_pos_t prev_[kWindowSize];
};

}  // namespace xpress
