// Two-level lookup table for one block's Huffman code.
//
// The root table is indexed by the next kRootBits bits of the stream.  A
// code of at most kRootBits bits fills 2^(kRootBits - L) root entries and
// resolves in one lookup.  The rare longer codes go through a subtable: the
// root entry points to 2^kSubBits entries indexed by the bits after the
// root's, so kRootBits + kSubBits = 15 covers the longest code.  The root
// table (8 KiB for 11 bits) stays in L1 cache; a flat 2^15-entry table did
// not, and decoded PE files about a third slower.  12 root bits halved the
// subtable lookups but gained nothing measurable.
//
// Each entry carries what the decode loop needs without looking at the
// symbol again (32 bits):
//   bits 0..4    the bits to consume: the code's, plus the offset bits when
//                they follow the code directly (not when escape bytes come
//                first); kRootBits for a subtable.  Bit 5 is zero, so the
//                low 6 bits of the whole entry serve as a shift count.
//   bit 6        special: not for the fast loop's common road (a subtable,
//                escape bytes, length 17, or an offset below 8)
//   bit 7        subtable
//   bits 8..14   bytes produced: 1 for a literal, else the match length
//                (kEscapedLength: escape bytes follow); bit 15 is zero
//   bits 16..30  literal: the byte; match: 2^k - 1 for k offset bits (the
//                offset is 2^k plus those bits); subtable: the index of its
//                first entry
//   bit 31       literal
// A code's bits are its length at the root and length - kRootBits in a
// subtable.
#pragma once

#include "xpress_constants.h"

namespace xpress {

constexpr unsigned kRootBits = 11;
constexpr unsigned kSubBits = kMaxCodeLength - kRootBits;
constexpr std::size_t kRootEntries = std::size_t(1) << kRootBits;
static_assert(kRootBits + kSubBits == kMaxCodeLength, "two lookups cover the longest code");
// Subtables cover at most 4096 of the 2^15 code positions: the code is
// complete (checked before the table is built), so the longer codes, 8
// positions or fewer each, are at most the 512 symbols.
constexpr std::size_t kMaxSubtableEntries = kNumSymbols << (kMaxCodeLength - kRootBits - 1);
constexpr std::size_t kDecodeTableEntries = kRootEntries + kMaxSubtableEntries;

constexpr u32 kEntryBitsMask = 31;
constexpr u32 kSpecialFlag = 1u << 6;
constexpr u32 kSubtableFlag = 1u << 7;
constexpr unsigned kEntryLengthShift = 8;
constexpr u32 kEntryLengthMask = 0x7F;
constexpr unsigned kEntryValueShift = 16;
constexpr u32 kEntryValueMask = 0x7FFF;
constexpr u32 kLiteralFlag = 1u << 31;
constexpr u32 kEscapedLength = kLengthNibbleEscape + kMinMatchLength;
// The fast loop's common road copies kCommonCopy bytes from at least
// 2^kCommonMinOffsetBits back; other matches are special.
constexpr u32 kCommonCopy = 16;
constexpr u32 kCommonMinOffsetBits = 3;
static_assert(kDecodeTableEntries <= kEntryValueMask, "a subtable index fits its field");

// A block is expected to be mostly literals when their codes fill this much
// of the 2^15 code space (7/8; see DecodeSymbolsFast).
constexpr u32 kMostlyLiteralsSpace = 7u << (kMaxCodeLength - 3);

struct DecodeTable {
    bool mostly_literals;  // literal codes fill kMostlyLiteralsSpace or more
    u32 entries[kDecodeTableEntries];
};

// Reads the 256-byte code-length table at `table_bytes` and fills `table`.
// Returns false unless the lengths form a complete prefix code (the sum of
// 2^(15-L) over used symbols is exactly 2^15); over-subscribed, incomplete
// and empty tables are rejected here, before any bit is decoded with them.
bool BuildDecodeTable(const u8* table_bytes, DecodeTable* table);

}  // namespace xpress
