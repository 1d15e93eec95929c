// Builds the decode table from a block's code-length table: count the
// lengths, check the code is exactly complete, sort the symbols by (length,
// symbol) with a counting sort, then give each symbol its run of entries.
// Canonical codes are consecutive in that order, so walking a position `pos`
// through the 15-bit code space in steps of 2^(15-L) visits every code; a
// code's root index is pos >> kSubBits.
#include "decode_table.h"

namespace xpress {

namespace {

void Fill(u32* entry, std::size_t run, u32 value) {
    for (std::size_t j = 0; j < run; j++) entry[j] = value;
}

}  // namespace

bool BuildDecodeTable(const u8* table_bytes, DecodeTable* table) {
    u8 lengths[kNumSymbols];
    unsigned counts[kMaxCodeLength + 1] = {};
    for (unsigned i = 0; i < kTableBytes; i++) {
        lengths[2 * i] = table_bytes[i] & 15;
        lengths[2 * i + 1] = table_bytes[i] >> 4;
        counts[lengths[2 * i]]++;
        counts[lengths[2 * i + 1]]++;
    }

    // Kraft sum in units of 2^-15.  An empty table sums to 0 and fails too.
    u32 space = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++) space += counts[len] << (kMaxCodeLength - len);
    if (space != u32(1) << kMaxCodeLength) return false;

    // Unused symbols are sorted too, after all others, which spares the
    // loop an unpredictable branch.
    unsigned offsets[kMaxCodeLength + 2];
    offsets[1] = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++) offsets[len + 1] = offsets[len] + counts[len];
    offsets[0] = offsets[kMaxCodeLength + 1];
    u16 sorted[kNumSymbols];
    for (unsigned sym = 0; sym < kNumSymbols; sym++) sorted[offsets[lengths[sym]]++] = u16(sym);

    // offsets[len] now ends the run of length-len symbols.
    u32* const root = table->entries;
    std::size_t next_subtable = kRootEntries;
    u32 pos = 0;  // position in the 15-bit code space
    unsigned i = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++) {
        for (; i < offsets[len]; i++) {
            const u32 sym = sorted[i];
            const u32 sym_field =
                sym < kNumLiterals
                    ? kLiteralFlag | sym << kEntryLengthShift
                    : ((sym - kNumLiterals) % 16 + kMinMatchLength) << kEntryLengthShift |
                          ((sym - kNumLiterals) / 16) << kEntryOffsetBitsShift;
            // Escape bytes come between a code and its offset bits.
            const u32 offset_bits = sym < kNumLiterals || (sym - kNumLiterals) % 16 == kLengthNibbleEscape
                                        ? 0
                                        : (sym - kNumLiterals) / 16;
            if (len <= kRootBits) {
                Fill(root + (pos >> kSubBits), std::size_t(1) << (kRootBits - len),
                     sym_field | len << kEntryCodeBitsShift | (len + offset_bits));
            } else {
                const u32 root_index = pos >> kSubBits;
                if (pos % (u32(1) << kSubBits) == 0) {  // first code under this prefix
                    root[root_index] = kSubtableFlag | u32(next_subtable);
                    next_subtable += std::size_t(1) << kSubBits;
                }
                u32* const sub = table->entries + (root[root_index] & ~kSubtableFlag);
                Fill(sub + pos % (u32(1) << kSubBits), std::size_t(1) << (kMaxCodeLength - len),
                     sym_field | (len - kRootBits) << kEntryCodeBitsShift | (len - kRootBits + offset_bits));
            }
            pos += u32(1) << (kMaxCodeLength - len);
        }
    }
    return true;
}

}  // namespace xpress
