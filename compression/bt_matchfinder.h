// Binary-tree match finder for the near-optimal parser.
//
// Each hash bucket (3 bytes) roots a binary search tree of earlier positions
// ordered by the strings that start there, newest at the root.  Inserting the
// current position walks down from the root, re-hanging the visited nodes as
// its left (smaller) and right (greater) subtrees, and meets the candidates
// with the longest common prefixes on the way, so one walk both finds all
// matches of increasing length and keeps the tree valid.  `lt_len` and
// `gt_len` bound the prefix every node below shares with the current string,
// so comparisons resume there instead of at byte 0.
#pragma once

#include "matchfinder_common.h"

namespace xpress {

class BtMatchfinder {
public:
    static constexpr unsigned kHashBits = 16;

    void Reset()
    {
        for (auto& h : head_)
            h = kNullPos;
    }

    // Inserts `cur` (max_length >= kMinSearchBytes bytes readable there).
    // With kRecord, stores the matches of strictly increasing length (>= 3)
    // at `matches` and returns their count; the last is the longest.  A
    // match reaching nice_length ends the search, and lengths are compared
    // no further than that, so runs do not cost quadratic time; the caller
    // extends such a match itself if it wants its full length.
    template <bool kRecord>
    XPRESS_FORCEINLINE unsigned Advance(const u8* base, mf_pos_t cur, u32 max_length, u32 nice_length, u32 depth,
                                        Match* matches)
    {
        const u8* const s = base + cur;
        const u32 h = Hash3(s, kHashBits);
        mf_pos_t node = head_[h];
        head_[h] = cur;
        mf_pos_t* pending_lt = &children_[2 * (u32(cur) & (kWindowSize - 1))];
        mf_pos_t* pending_gt = pending_lt + 1;
        const mf_pos_t cutoff = cur - mf_pos_t(kMaxOffset);
        if (nice_length > max_length)
            nice_length = max_length;

        unsigned count = 0;
        u32 best_length = kMinMatchLength - 1;
        u32 lt_len = 0, gt_len = 0, len = 0;
        while (node >= cutoff && depth-- != 0) {
            const u8* m = base + node;
            mf_pos_t* node_children = &children_[2 * (u32(node) & (kWindowSize - 1))];
            if (m[len] == s[len]) {
                len = ExtendMatch(s, m, len + 1, nice_length);
                if (kRecord && len > best_length) {
                    best_length = len;
                    matches[count++] = Match{len, u32(cur - node)};
                }
                if (len >= nice_length) {
                    // Equal up to the limit: node's subtrees become ours.
                    *pending_lt = node_children[0];
                    *pending_gt = node_children[1];
                    return count;
                }
            }
            if (m[len] < s[len]) {
                *pending_lt = node;
                pending_lt = &node_children[1];
                node = *pending_lt;
                lt_len = len;
                if (gt_len < len)
                    len = gt_len;
            } else {
                *pending_gt = node;
                pending_gt = &node_children[0];
                node = *pending_gt;
                gt_len = len;
                if (lt_len < len)
                    len = lt_len;
            }
        }
        *pending_lt = kNullPos;
        *pending_gt = kNullPos;
        return count;
    }

private:
    static constexpr std::size_t kHashSize = std::size_t(1) << kHashBits;
    mf_pos_t head_[kHashSize];
    mf_pos_t children_[2 * kWindowSize];
};

}  // namespace xpress
