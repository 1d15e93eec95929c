// One block of the stream: tokens, the block's Huffman code, and its output.
#pragma once

#include "bit_writer.h"
#include "huffman_code.h"
#include "xpress.h"

namespace xpress {

// A literal (length 0, value = byte) or a match (length >= 3, value = offset).
struct Token {
    u32 length;
    u32 value;
};

// kMaxEncodeMatchLength (xpress.h) bounds the work per token and is plenty
// for 64 KiB blocks; the four-byte escape allows far more.

XPRESS_FORCEINLINE unsigned MatchSymbol(u32 length, u32 offset)
{
    const u32 nibble = length - kMinMatchLength < kLengthNibbleEscape ? length - kMinMatchLength : kLengthNibbleEscape;
    return kNumLiterals + (FloorLog2(offset) << 4) + nibble;
}

// Bits of raw escape bytes for a match of `length`.
XPRESS_FORCEINLINE unsigned EscapeBits(u32 length)
{
    const u32 extra = length - kMinMatchLength;
    if (extra < kLengthNibbleEscape)
        return 0;
    if (extra <= kMaxLengthMinus3InByte)
        return 8;
    if (extra <= kMaxLengthMinus3InU16)
        return 24;
    return 56;
}

// The code of one block.
struct BlockCode {
    u8 lengths[kNumSymbols];
    u16 codes[kNumSymbols];
};

// Counts the symbols of `tokens`, plus the end marker if `final`.
void CountSymbols(const Token* tokens, std::size_t count, bool final, u32* freqs);

// Builds the length-limited code for `freqs` (lengths and canonical codes).
void BuildBlockCode(const u32* freqs, BlockCode* code, HuffmanScratch* scratch);

// Writes one block: table, tokens, the end marker if `final`, padding.
void WriteBlock(BitWriter& out, const Token* tokens, std::size_t count, bool final, const BlockCode& code);

}  // namespace xpress
