// Two-level lookup table for one block's Huffman code.
//
// The root table is indexed by the next kRootBits bits of the stream.  A
// code of at most kRootBits bits fills 2^(kRootBits - L) root entries and
// resolves in one lookup.  The rare longer codes go through a subtable: the
// root entry points to 2^kSubBits entries indexed by the bits after the
// root's, so kRootBits + kSubBits = 15 covers the longest code.  The root
// table (8 KiB for 11 bits) stays in L1 cache; a flat 2^15-entry table did
// not, and decoded PE files about a third slower.
//
// Entry layout (32 bits):
//   direct:   bit 31 clear; bits 4..12 symbol; bits 0..3 bits to consume
//             (the code length at the root, length - kRootBits in a subtable)
//   subtable: bit 31 set; bits 0..30 index of the subtable's first entry
#pragma once

#include "xpress_constants.h"

namespace xpress {

constexpr unsigned kRootBits = 11;
constexpr unsigned kSubBits = kMaxCodeLength - kRootBits;
constexpr u32 kSubtableFlag = 0x80000000u;
constexpr std::size_t kRootEntries = std::size_t(1) << kRootBits;
// Worst case: every root entry leads to a subtable.
constexpr std::size_t kDecodeTableEntries = kRootEntries + (kRootEntries << kSubBits);
static_assert(kRootBits + kSubBits == kMaxCodeLength, "two lookups cover the longest code");

struct DecodeTable {
    u32 entries[kDecodeTableEntries];
};

// Reads the 256-byte code-length table at `table_bytes` and fills `table`.
// Returns false unless the lengths form a complete prefix code (the sum of
// 2^(15-L) over used symbols is exactly 2^15); over-subscribed, incomplete
// and empty tables are rejected here, before any bit is decoded with them.
bool BuildDecodeTable(const u8* table_bytes, DecodeTable* table);

}  // namespace xpress
