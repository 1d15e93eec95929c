// Builds the flat decode table from a block's code-length table: count the
// lengths, check the code is exactly complete, sort the symbols by (length,
// symbol) with a counting sort, then give each symbol its run of entries.
// Canonical codes are consecutive in that order, so the runs are adjacent.
#include "decode_table.h"

namespace xpress {

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
    if (space != kDecodeTableEntries) return false;

    unsigned offsets[kMaxCodeLength + 2];
    offsets[1] = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++) offsets[len + 1] = offsets[len] + counts[len];
    u16 sorted[kNumSymbols];
    for (unsigned sym = 0; sym < kNumSymbols; sym++) {
        if (lengths[sym] != 0) sorted[offsets[lengths[sym]]++] = u16(sym);
    }

    // offsets[len] now ends the run of length-len symbols; walk them in order.
    u16* entry = table->entries;
    unsigned i = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; len++) {
        const std::size_t run = std::size_t(1) << (kMaxCodeLength - len);
        for (; i < offsets[len]; i++) {
            const u16 value = u16(sorted[i] << 4 | len);
            if (run >= 4) {
                const u64 pattern = value * 0x0001000100010001ull;
                for (std::size_t j = 0; j < run; j += 4) StoreU64(reinterpret_cast<u8*>(entry + j), pattern);
            } else {
                for (std::size_t j = 0; j < run; j++) entry[j] = value;
            }
            entry += run;
        }
    }
    return true;
}

}  // namespace xpress
