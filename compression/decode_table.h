// Flat lookup table for one block's Huffman code.
//
// The table has 2^15 entries indexed by the next 15 bits of the stream, so
// every code, whatever its length, resolves in one lookup.  An entry is
// (symbol << 4) | code length.  A full table is 64 KiB and is rebuilt once per
// block, i.e. once per at least 64 KiB of output, which keeps the rebuild
// cost below one entry store per output byte.
#pragma once

#include "xpress_constants.h"

namespace xpress {

constexpr unsigned kDecodeTableBits = kMaxCodeLength;
constexpr std::size_t kDecodeTableEntries = std::size_t(1) << kDecodeTableBits;
static_assert((kNumSymbols - 1) << 4 <= 0xFFFF, "symbol and length fit a 16-bit entry");

struct DecodeTable {
    u16 entries[kDecodeTableEntries];
};

// Reads the 256-byte code-length table at `table_bytes` and fills `table`.
// Returns false unless the lengths form a complete prefix code (the sum of
// 2^(15-L) over used symbols is exactly 2^15); over-subscribed, incomplete
// and empty tables are rejected here, before any bit is decoded with them.
bool BuildDecodeTable(const u8* table_bytes, DecodeTable* table);

}  // namespace xpress
