// Builds the decode table from a block's code-length table: count the
// lengths, check the code is exactly complete, sort the symbols by (length,
// symbol) with a counting sort, then give each symbol its run of entries.
// Canonical codes are consecutive in that order, so walking a position `pos`
// through the 15-bit code space in steps of 2^(15-L) visits every code; a
// code's root index is pos >> kSubBits.
#include "decode_table.h"

namespace xpress {

namespace {

// Each symbol's entry less the bits to consume, and the offset bits that
// follow its code directly (none when escape bytes come between).
struct SymbolEntries {
    u32 fields[kNumSymbols];
    u8 offset_bits[kNumSymbols];
    constexpr SymbolEntries() : fields(), offset_bits()
    {
        for (u32 sym = 0; sym < kNumLiterals; sym++)
            fields[sym] = kLiteralFlag | u32(1) << kEntryLengthShift | sym << kEntryValueShift;
        for (u32 sym = kNumLiterals; sym < kNumSymbols; sym++) {
            const u32 nibble = (sym - kNumLiterals) % 16;
            const u32 extra_bits = (sym - kNumLiterals) / 16;
            fields[sym] = (nibble + kMinMatchLength) << kEntryLengthShift | ((u32(1) << extra_bits) - 1)
                                                                                << kEntryValueShift;
            if (nibble + kMinMatchLength > kCommonCopy || extra_bits < kCommonMinOffsetBits)
                fields[sym] |= kSpecialFlag;
            if (nibble != kLengthNibbleEscape)
                offset_bits[sym] = u8(extra_bits);
        }
    }
};
constexpr SymbolEntries kSymbolEntries;

void Fill(u32* entry, std::size_t run, u32 value)
{
    for (std::size_t j = 0; j < run; j++)
        entry[j] = value;
}

}  // namespace

bool BuildDecodeTable(const u8* table_bytes, DecodeTable* table)
{
    u8 lengths[kNumSymbols];
    unsigned counts[kMaxCodeLength + 1] = {};
    unsigned literal_counts[kMaxCodeLength + 1] = {};
    for (unsigned i = 0; i < kTableBytes; i++) {
        lengths[2 * i] = table_bytes[i] & 15;
        lengths[2 * i + 1] = table_bytes[i] >> 4;
        unsigned* const to = 2 * i < kNumLiterals ? literal_counts : counts;
        to[lengths[2 * i]]++;
        to[lengths[2 * i + 1]]++;
    }
    // A code spends about 2^-L of the symbols on a code of length L: the
    // block is mostly literals when their codes fill most of the code space.
    u32 literal_space = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++) {
        literal_space += literal_counts[len] << (kMaxCodeLength - len);
        counts[len] += literal_counts[len];
    }
    counts[0] += literal_counts[0];
    table->mostly_literals = literal_space >= kMostlyLiteralsSpace;

    // Kraft sum in units of 2^-15.  An empty table sums to 0 and fails too.
    u32 space = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++)
        space += counts[len] << (kMaxCodeLength - len);
    if (space != u32(1) << kMaxCodeLength)
        return false;

    // Unused symbols are sorted too, after all others, which spares the
    // loop an unpredictable branch.
    unsigned offsets[kMaxCodeLength + 2];
    offsets[1] = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++)
        offsets[len + 1] = offsets[len] + counts[len];
    offsets[0] = offsets[kMaxCodeLength + 1];
    u16 sorted[kNumSymbols];
    for (unsigned sym = 0; sym < kNumSymbols; sym++)
        sorted[offsets[lengths[sym]]++] = u16(sym);

    // offsets[len] now ends the run of length-len symbols.
    u32* const root = table->entries;
    u32 pos = 0;  // position in the 15-bit code space
    unsigned i = 0;
    for (unsigned len = 1; len <= kRootBits; len++) {
        const std::size_t run = std::size_t(1) << (kRootBits - len);
        for (; i < offsets[len]; i++) {
            const u32 sym = sorted[i];
            Fill(root + (pos >> kSubBits), run, kSymbolEntries.fields[sym] | (len + kSymbolEntries.offset_bits[sym]));
            pos += u32(1) << (kMaxCodeLength - len);
        }
    }
    std::size_t next_subtable = kRootEntries;
    for (unsigned len = kRootBits + 1; len <= kMaxCodeLength; len++) {
        const std::size_t run = std::size_t(1) << (kMaxCodeLength - len);
        for (; i < offsets[len]; i++) {
            const u32 sym = sorted[i];
            const u32 root_index = pos >> kSubBits;
            if (pos % (u32(1) << kSubBits) == 0) {  // first code under this prefix
                root[root_index] = kSpecialFlag | kSubtableFlag | u32(next_subtable) << kEntryValueShift | kRootBits;
                next_subtable += std::size_t(1) << kSubBits;
            }
            u32* const sub = table->entries + ((root[root_index] >> kEntryValueShift) & kEntryValueMask);
            Fill(sub + pos % (u32(1) << kSubBits), run,
                 kSymbolEntries.fields[sym] | (len - kRootBits + kSymbolEntries.offset_bits[sym]));
            pos += u32(1) << (kMaxCodeLength - len);
        }
    }
    return true;
}

}  // namespace xpress
