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
// Each entry carries what the decode loop needs without looking at the
// symbol again (32 bits):
//   literal:  bit 31 set; bits 16..23 the byte
//   match:    bits 31, 30 clear; bits 16..20 the length nibble + 3 (18 means
//             escape bytes follow); bits 8..11 the offset's extra bit count
//   both:     bits 12..15 the code's bits; bits 0..4 those plus the offset
//             bits, which follow the code directly unless escape bytes come
//             first (then the code's bits only).  At the bottom, the count
//             serves as a shift amount without extracting it.
//   subtable: bit 30 set; bits 0..29 index of the subtable's first entry
// A code's bits are its length at the root and length - kRootBits in a
// subtable.
#pragma once

#include "xpress_constants.h"

namespace xpress {

constexpr unsigned kRootBits = 11;
constexpr unsigned kSubBits = kMaxCodeLength - kRootBits;
constexpr std::size_t kRootEntries = std::size_t(1) << kRootBits;
// Worst case: every root entry leads to a subtable.
constexpr std::size_t kDecodeTableEntries = kRootEntries + (kRootEntries << kSubBits);
static_assert(kRootBits + kSubBits == kMaxCodeLength, "two lookups cover the longest code");

constexpr u32 kLiteralFlag = 0x80000000u;
constexpr u32 kSubtableFlag = 0x40000000u;
constexpr unsigned kEntryLengthShift = 16;  // literal byte or match length
constexpr unsigned kEntryOffsetBitsShift = 8;
constexpr unsigned kEntryCodeBitsShift = 12;
constexpr u32 kEntrySymbolBitsMask = 31;
constexpr u32 kEscapedLength = kLengthNibbleEscape + kMinMatchLength;
static_assert(kDecodeTableEntries < kSubtableFlag, "subtable index fits below the flag");

struct DecodeTable {
    u32 entries[kDecodeTableEntries];
};

// Reads the 256-byte code-length table at `table_bytes` and fills `table`.
// Returns false unless the lengths form a complete prefix code (the sum of
// 2^(15-L) over used symbols is exactly 2^15); over-subscribed, incomplete
// and empty tables are rejected here, before any bit is decoded with them.
bool BuildDecodeTable(const u8* table_bytes, DecodeTable* table);

}  // namespace xpress
