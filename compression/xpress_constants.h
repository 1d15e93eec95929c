// Numbers of the LZ77+Huffman ("XPRESS Huffman") stream of [MS-XCA].
#pragma once

#include "common.h"

namespace xpress {

constexpr unsigned kNumSymbols = 512;  // 256 literals + 256 match symbols
constexpr unsigned kNumLiterals = 256;
constexpr unsigned kEndSymbol = 256;  // also the match "offset 1, length 3"
constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kTableBytes = kNumSymbols / 2;  // two 4-bit lengths per byte
static_assert(kMaxCodeLength < 16, "code lengths are stored in 4 bits");

// A table is used until the output has grown by at least this much since it
// was read; the test happens only between symbols.
constexpr u32 kBlockSpan = 65536;

constexpr u32 kMinMatchLength = 3;
constexpr u32 kMaxOffset = 65535;  // 15 extra bits: 2^15 .. 2^16-1
constexpr unsigned kMaxOffsetBits = 15;
static_assert((2u << kMaxOffsetBits) - 1 == kMaxOffset, "offset range");

// Length nibble 15 escapes to raw bytes: one byte for length-3 in [15, 269],
// then 0xFF + u16 for length-3 up to 65535, then 0xFF + u16 0 + u32.
constexpr u32 kLengthNibbleEscape = 15;
constexpr u32 kMaxOneByteExtra = 254;                                           // byte 255 announces the u16
constexpr u32 kMaxLengthMinus3InByte = kLengthNibbleEscape + kMaxOneByteExtra;  // 269
constexpr u32 kMaxLengthMinus3InU16 = 0xFFFF;

// Table, then the two words that prime the bit register.
constexpr std::size_t kBlockHeaderBytes = kTableBytes + 4;

}  // namespace xpress
