// Length-limited Huffman codes for the encoder.
#pragma once

#include "xpress_constants.h"

namespace xpress {

struct PackageMergeItem {
    u64 weight;
    std::int32_t left;  // package: index of its first child in the level before; leaf: -1
    u16 symbol;         // leaf only
};

// Working memory of BuildCodeLengths (about 240 KiB, too much for a stack).
struct HuffmanScratch {
    // A level holds at most n leaves plus (2n - 1) / 2 packages.
    PackageMergeItem levels[kMaxCodeLength][2 * kNumSymbols];
};

// Computes code lengths (1..max_length, 0 for unused symbols) minimising
// sum(freqs[i] * lengths[i]) under the length limit, by package-merge.  The
// result is always a complete code over at least two symbols: if fewer than
// two frequencies are nonzero, the lowest-numbered unused symbols join with
// length 1.  Requires num_syms <= kNumSymbols and max_length <= 15.
void BuildCodeLengths(const u32* freqs, unsigned num_syms, unsigned max_length, u8* lengths, HuffmanScratch* scratch);

// Assigns canonical codes (sorted by length, then symbol) to `lengths`.
void BuildCanonicalCodes(const u8* lengths, unsigned num_syms, u16* codes);

}  // namespace xpress
