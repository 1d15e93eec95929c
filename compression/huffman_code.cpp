// Optimal length-limited codes: an unlimited minimum-redundancy code when
// it fits, else package-merge (Larmore and Hirschberg).
//
// Level 0 lists the symbols by weight.  Each further level merges the leaves
// with packages formed by pairing adjacent items of the level before.  The
// first 2n-2 items of the last level select the code: every leaf reached
// through them adds one bit to its symbol's length.  With n <= 512 symbols
// and 15 levels this is at most ~15,000 items per block.
#include "huffman_code.h"

#include <algorithm>

namespace xpress {

namespace {

using Item = PackageMergeItem;

// Adds one bit to each leaf under item `index` of `level`.
void CountLeaves(Item* const* levels, unsigned level, int index, u8* lengths)
{
    const Item& item = levels[level][index];
    if (item.left < 0) {
        lengths[item.symbol]++;
        return;
    }
    CountLeaves(levels, level - 1, item.left, lengths);
    CountLeaves(levels, level - 1, item.left + 1, lengths);
}

// Moffat and Katajainen's in-place minimum-redundancy code: `a` holds n >= 2
// weights in ascending order and receives their code lengths (unlimited).
// Three passes over the array: pair items left to right, turning weights
// into parent indexes; set internal node depths right to left; then hand
// out leaf depths level by level.
void InPlaceCodeLengths(u32* a, int n)
{
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; next++) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = u32(next);
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = u32(next);
        } else {
            a[next] += a[leaf++];
        }
    }
    a[n - 2] = 0;
    for (int next = n - 3; next >= 0; next--)
        a[next] = a[a[next]] + 1;
    int avail = 1, used = 0, next = n - 1;
    u32 depth = 0;
    root = n - 2;
    while (avail > 0) {
        while (root >= 0 && a[root] == depth) {
            used++;
            root--;
        }
        while (avail > used) {
            a[next--] = depth;
            avail--;
        }
        avail = 2 * used;
        depth++;
        used = 0;
    }
}

}  // namespace

void BuildCodeLengths(const u32* freqs, unsigned num_syms, unsigned max_length, u8* lengths, HuffmanScratch* scratch)
{
    Item leaves[kNumSymbols];
    unsigned n = 0;
    for (unsigned sym = 0; sym < num_syms; sym++) {
        lengths[sym] = 0;
        if (freqs[sym] != 0)
            leaves[n++] = Item{freqs[sym], -1, u16(sym)};
    }
    // A complete code needs two symbols; fill up with unused ones.
    for (unsigned sym = 0; n < 2 && sym < num_syms; sym++) {
        if (freqs[sym] == 0)
            leaves[n++] = Item{0, -1, u16(sym)};
    }
    std::sort(leaves, leaves + n, [](const Item& a, const Item& b) {
        return a.weight != b.weight ? a.weight < b.weight : a.symbol < b.symbol;
    });

    // Most blocks' optimal code needs no more than max_length bits; it is
    // then also the optimal limited code, found in linear time.  Package-
    // merge runs only for the others.
    u32 depths[kNumSymbols] = {};
    for (unsigned i = 0; i < n; i++)
        depths[i] = leaves[i].weight;
    InPlaceCodeLengths(depths, int(n));
    if (depths[0] <= max_length) {  // the rarest symbol has the longest code
        for (unsigned i = 0; i < n; i++)
            lengths[leaves[i].symbol] = u8(depths[i]);
        return;
    }

    Item(&storage)[kMaxCodeLength][2 * kNumSymbols] = scratch->levels;
    Item* levels[kMaxCodeLength];
    unsigned sizes[kMaxCodeLength];
    levels[0] = storage[0];
    std::copy(leaves, leaves + n, levels[0]);
    sizes[0] = n;
    for (unsigned level = 1; level < max_length; level++) {
        const Item* prev = levels[level - 1];
        const unsigned num_packages = sizes[level - 1] / 2;
        Item* cur = storage[level];
        levels[level] = cur;
        unsigned li = 0, pi = 0, k = 0;
        while (li < n || pi < num_packages) {
            // Leaves go first on equal weight, which keeps lengths short.
            const bool take_leaf =
                pi == num_packages || (li < n && leaves[li].weight <= prev[2 * pi].weight + prev[2 * pi + 1].weight);
            if (take_leaf) {
                cur[k++] = leaves[li++];
            } else {
                cur[k++] = Item{prev[2 * pi].weight + prev[2 * pi + 1].weight, int(2 * pi), 0};
                pi++;
            }
        }
        sizes[level] = k;
    }
    for (unsigned i = 0; i < 2 * n - 2; i++)
        CountLeaves(levels, max_length - 1, int(i), lengths);
}

void BuildCanonicalCodes(const u8* lengths, unsigned num_syms, u16* codes)
{
    unsigned counts[kMaxCodeLength + 1] = {};
    for (unsigned sym = 0; sym < num_syms; sym++)
        counts[lengths[sym]]++;
    counts[0] = 0;
    u32 next[kMaxCodeLength + 1];
    u32 code = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++) {
        code = (code + counts[len - 1]) << 1;
        next[len] = code;
    }
    for (unsigned sym = 0; sym < num_syms; sym++) {
        if (lengths[sym] != 0)
            codes[sym] = u16(next[lengths[sym]]++);
    }
}

}  // namespace xpress
