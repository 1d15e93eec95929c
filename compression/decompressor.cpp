// Raw LZ77+Huffman decoder.
//
// The format's exact bit reader: a 32-bit register with its valid bits at
// the top, and after each field (a Huffman code or an offset's extra bits)
// one 16-bit word fetched if fewer than 16 bits remain.  Escape bytes of
// long lengths are read from the same pointer, i.e. after every word fetched
// so far, and the next block's table starts there too.
//
// Each block is decoded by a fast loop while at least kFastInputMargin input
// bytes and kFastOutputSlack output bytes remain, then by the exact reader
// with every read checked.  The fast loop reads ahead with a 64-bit buffer
// and recomputes the exact reader's position where it matters (see
// DecodeSymbolsFast); escaped lengths are checked against the output in
// both loops, as they may exceed any margin.
#include <algorithm>
#include <cstdlib>

#include "decode_table.h"
#include "xpress.h"

namespace xpress {

struct Decompressor {
    DecodeTable table;
};

namespace {

// A match copy may store up to this many bytes past its end.
constexpr std::size_t kCopyOvershoot = 16;

struct BitReader {
    u32 reg;           // valid bits at the top, zeros below
    unsigned avail;    // number of valid bits in reg; 16..32 between fields
    const u8* next;
    const u8* end;
};

// Copies `length` bytes from `offset` back, forward, correct when the ranges
// overlap, storing whole words up to kCopyOvershoot bytes past the match
// (the caller guarantees the room and has checked offset and length):
//  - offset >= 8: each 8-byte load ends at or before dst, i.e. reads
//    finished output;
//  - offset 1: the byte broadcast to a word (short runs of one byte are
//    common; long ones go to memset);
//  - offsets 2..7: a word load and store stepping by `offset`: each store's
//    first `offset` bytes are final, and the next store begins there.
XPRESS_FORCEINLINE void CopyMatchWithSlack(u8* dst, std::size_t offset, std::size_t length) {
    const u8* src = dst - offset;
    u8* const end = dst + length;
    if (offset >= 8) {
        // Most matches are short: two stores without a loop test.
        StoreU64(dst, LoadU64(src));
        StoreU64(dst + 8, LoadU64(src + 8));
        if (XPRESS_UNLIKELY(length > 16)) {
            dst += 16;
            src += 16;
            do {
                StoreU64(dst, LoadU64(src));
                dst += 8;
                src += 8;
            } while (dst < end);
        }
    } else if (offset == 1) {
        if (length > 64) {  // long runs: the library's wide stores win
            std::memset(dst, dst[-1], length);
            return;
        }
        const u64 v = dst[-1] * 0x0101010101010101ull;
        do {
            StoreU64(dst, v);
            dst += 8;
        } while (dst < end);
    } else {
        do {
            StoreU64(dst, LoadU64(src));
            dst += offset;
            src += offset;
        } while (dst < end);
    }
}

// As above, but one byte at a time near the end of the output.
XPRESS_FORCEINLINE void CopyMatch(u8* dst, std::size_t offset, std::size_t length, u8* out_end) {
    if (XPRESS_LIKELY(std::size_t(out_end - dst) - length >= kCopyOvershoot)) {
        CopyMatchWithSlack(dst, offset, length);
    } else {
        const u8* src = dst - offset;
        for (std::size_t i = 0; i < length; i++) dst[i] = src[i];
    }
}

#define XPRESS_FAIL_IF(cond, why)           \
    do {                                    \
        if (XPRESS_UNLIKELY(cond)) {        \
            result = DecodeResult::why;     \
            goto out;                       \
        }                                   \
    } while (0)

// Decodes symbols with the exact reader until the output reaches `stop`,
// checking every read against the input's end.  Used for each block's last
// symbols and for the input's tail.
DecodeResult DecodeSymbolsChecked(BitReader& br, const DecodeTable& table, u8* out_begin, u8*& out_next_ref,
                                  u8* stop, u8* out_end) {
    u8* out_next = out_next_ref;
    u32 reg = br.reg;
    unsigned avail = br.avail;
    DecodeResult result = DecodeResult::kSuccess;

#define XPRESS_REFILL()                                    \
    do {                                                   \
        if (avail < 16) {                                  \
            XPRESS_FAIL_IF(br.end - br.next < 2, kTruncated); \
            reg |= u32(LoadU16(br.next)) << (16 - avail);  \
            br.next += 2;                                  \
            avail += 16;                                   \
        }                                                  \
    } while (0)

    while (out_next < stop) {
        u32 entry = table.entries[reg >> (32 - kRootBits)];
        if (entry & kSubtableFlag) {
            // avail >= 16 before the code, so kSubBits bits remain after the root's.
            reg <<= kRootBits;
            avail -= kRootBits;
            entry = table.entries[(entry & ~kSubtableFlag) + (reg >> (32 - kSubBits))];
        }
        const unsigned code_bits = (entry >> kEntryCodeBitsShift) & 15;
        reg <<= code_bits;
        avail -= code_bits;
        XPRESS_REFILL();
        if (entry & kLiteralFlag) {
            *out_next++ = u8(entry >> kEntryLengthShift);
            continue;
        }

        const unsigned offset_bits = (entry >> kEntryOffsetBitsShift) & 15;
        std::size_t length = (entry >> kEntryLengthShift) & 31;
        if (length == kEscapedLength) {
            XPRESS_FAIL_IF(br.end - br.next < 1, kTruncated);
            const unsigned b = *br.next++;
            if (b <= kMaxOneByteExtra) {
                length = kLengthNibbleEscape + b;
            } else {
                XPRESS_FAIL_IF(br.end - br.next < 2, kTruncated);
                length = LoadU16(br.next);
                br.next += 2;
                if (length == 0) {
                    XPRESS_FAIL_IF(br.end - br.next < 4, kTruncated);
                    length = LoadU32(br.next);
                    br.next += 4;
                }
                // Values below 15 would have fitted the nibble: no encoder writes them.
                XPRESS_FAIL_IF(length < kLengthNibbleEscape, kBadLength);
            }
            length += kMinMatchLength;
        }

        std::size_t offset = 1;
        if (offset_bits != 0) {  // a shift by 32 - 0 would be undefined
            offset = (std::size_t(1) << offset_bits) | (reg >> (32 - offset_bits));
            reg <<= offset_bits;
            avail -= offset_bits;
            XPRESS_REFILL();
        }
        XPRESS_FAIL_IF(offset > std::size_t(out_next - out_begin), kBadOffset);
        XPRESS_FAIL_IF(length > std::size_t(out_end - out_next), kBadLength);
        CopyMatch(out_next, offset, length, out_end);
        out_next += length;
    }
out:
#undef XPRESS_REFILL
    br.reg = reg;
    br.avail = avail;
    out_next_ref = out_next;
    return result;
}

// The fast loop's reader holds up to 63 bits and fetches up to two words at
// once, so it runs ahead of the exact reader, but only ever by whole words
// of the same word sequence.  Both hold the same number of bits modulo 16,
// and between fields the exact reader holds 16..31 of them, so its state is
// recovered from ours whenever it matters: at an escape (the bytes sit right
// after the exact reader's last word) and on leaving the loop.
//
// An iteration reads at most 7 escape bytes (from at or before the pointer
// so far), 4 for the refill after them and 4 for the refill at its end.
constexpr std::size_t kFastInputMargin = 7 + 4 + 4;

// The loop runs while out_next < out_fast_end, which the caller sets to at
// most `stop` and out_end - kFastOutputSlack.  An iteration decodes one
// symbol, so the block-limit test between symbols never fails inside it,
// and a match of up to 17 bytes (no escape) with its copy's overshoot stays
// within the output: such matches need no length check.
constexpr std::size_t kMaxUnescapedLength = kLengthNibbleEscape - 1 + kMinMatchLength;
constexpr std::size_t kFastOutputSlack = kMaxUnescapedLength + kCopyOvershoot;

// Decodes symbols while at least kFastInputMargin input bytes remain and
// out_next < out_fast_end; the caller has checked both hold at entry.
// Offsets need checking only within kMaxOffset bytes of the output's start.
// Leaves `br` as the exact reader would be at the same point.
template <bool kCheckOffsets>
DecodeResult DecodeSymbolsFast(BitReader& br, const DecodeTable& table, u8* out_begin, u8*& out_next_ref,
                               u8* out_fast_end, u8* out_end) {
    u8* out_next = out_next_ref;
    const u8* in_next = br.next;
    const u8* const in_fast_end = br.end - kFastInputMargin;
    // Valid bits at the top; below them zeros or the next bits of the stream.
    u64 bitbuf = u64(br.reg) << 32;
    u64 bitsleft = br.avail;
    DecodeResult result = DecodeResult::kSuccess;

    // With 16 or more bits left, adds the whole words that fit of the next
    // two (rotating the little-endian pair puts the first word on top):
    // 48..63 bits remain.  Setting bits 4 and 5 of the count adds exactly
    // those words' 32, 16 or 0 bits.  Without a branch, as whether a word is
    // due is a coin flip.  Bits of a word only partly added are the stream's
    // own and are simply added again next time.
#define XPRESS_REFILL()                                                       \
    do {                                                                      \
        const u32 pair = LoadU32(in_next);                                    \
        bitbuf |= (u64(pair << 16 | pair >> 16) << 32) >> bitsleft;           \
        const u64 refilled = bitsleft | 48;                                   \
        in_next += (refilled - bitsleft) >> 3;                                \
        bitsleft = refilled;                                                  \
    } while (0)
#define XPRESS_CONSUME(n)  \
    do {                   \
        bitbuf <<= (n);    \
        bitsleft -= (n);   \
    } while (0)
#define XPRESS_LOOKUP() (table.entries[bitbuf >> (64 - kRootBits)])

    // Each symbol's bits, offset bits included, leave in one shift, and the
    // next entry is looked up before branching on this one and before the
    // refill: the chain of dependent loads then waits neither for a
    // mispredicted literal/match branch nor for the refill.
    XPRESS_REFILL();
    u32 entry = XPRESS_LOOKUP();
    do {
        // 48 or more bits left here: up to 30 for the symbol, 11 for the
        // next lookup, and 16 after a code for the exact reader's state.
        if (XPRESS_UNLIKELY(entry & kSubtableFlag)) {
            XPRESS_CONSUME(kRootBits);
            entry = table.entries[(entry & ~kSubtableFlag) + (bitbuf >> (64 - kSubBits))];
        }
        const u32 symbol = entry;
        const u64 symbol_bits = bitbuf;  // for the offset bits
        // The count's bits 5 and up are zero below bit 8, and x86 shifts
        // ignore count bits above 5: masking with 63 costs no instruction.
        bitbuf <<= symbol & 63;
        bitsleft -= symbol & kEntrySymbolBitsMask;
        entry = XPRESS_LOOKUP();
        if (symbol & kLiteralFlag) {
            *out_next++ = u8(symbol >> kEntryLengthShift);
            XPRESS_REFILL();
            continue;
        }

        std::size_t length = (symbol >> kEntryLengthShift) & 31;
        const unsigned offset_shift = 63 - ((symbol >> kEntryOffsetBitsShift) & 15);
        std::size_t offset;
        if (XPRESS_LIKELY(length != kEscapedLength)) {
            // The top bit set above the offset bits gives 2^k + bits, and 1
            // for k = 0, with no shift by 64.
            offset = (((symbol_bits << ((symbol >> kEntryCodeBitsShift) & 15)) >> 1) | (u64(1) << 63)) >> offset_shift;
        } else {
            // Only the code has been consumed.  Step back to the exact
            // reader: keep its 16..31 bits, drop the words fetched after
            // them, and read the bytes where it would.
            const u64 avail = 16 + (bitsleft & 15);
            in_next -= (bitsleft - avail) >> 3;
            bitsleft = avail;
            bitbuf &= ~(~u64(0) >> avail);
            const unsigned b = *in_next++;
            if (b <= kMaxOneByteExtra) {
                length = kLengthNibbleEscape + b;
            } else {
                length = LoadU16(in_next);
                in_next += 2;
                if (length == 0) {
                    length = LoadU32(in_next);
                    in_next += 4;
                }
                XPRESS_FAIL_IF(length < kLengthNibbleEscape, kBadLength);
            }
            length += kMinMatchLength;
            XPRESS_REFILL();
            offset = ((bitbuf >> 1) | (u64(1) << 63)) >> offset_shift;
            XPRESS_CONSUME(63 - offset_shift);
            entry = XPRESS_LOOKUP();
        }
        XPRESS_REFILL();
        if (kCheckOffsets) XPRESS_FAIL_IF(offset > std::size_t(out_next - out_begin), kBadOffset);
        if (XPRESS_LIKELY(length <= kMaxUnescapedLength)) {
            CopyMatchWithSlack(out_next, offset, length);
        } else {
            XPRESS_FAIL_IF(length > std::size_t(out_end - out_next), kBadLength);
            CopyMatch(out_next, offset, length, out_end);
        }
        out_next += length;
    } while (in_next <= in_fast_end && out_next < out_fast_end);

    {
        // At least one symbol was decoded and bitsleft >= 48 (see above).
        const u64 avail = 16 + (bitsleft & 15);
        br.next = in_next - ((bitsleft - avail) >> 3);
        br.avail = unsigned(avail);
        br.reg = u32(bitbuf >> 32) & ~(~u32(0) >> avail);
    }
out:
#undef XPRESS_REFILL
#undef XPRESS_CONSUME
#undef XPRESS_LOOKUP
    out_next_ref = out_next;
    return result;
}
#undef XPRESS_FAIL_IF

}  // namespace

DecodeResult DecompressRaw(Decompressor* handle, const void* compressed, std::size_t compressedSize,
                           void* output, std::size_t outputSize) {
    BitReader br;
    br.next = static_cast<const u8*>(compressed);
    br.end = br.next + compressedSize;
    u8* const out_begin = static_cast<u8*>(output);
    u8* const out_end = out_begin + outputSize;
    u8* out_next = out_begin;

    while (out_next != out_end) {
        if (std::size_t(br.end - br.next) < kBlockHeaderBytes) return DecodeResult::kTruncated;
        if (!BuildDecodeTable(br.next, &handle->table)) return DecodeResult::kBadTable;
        br.next += kTableBytes;
        br.reg = u32(LoadU16(br.next)) << 16 | LoadU16(br.next + 2);
        br.next += 4;
        br.avail = 32;

        // The table ends once the block has produced kBlockSpan bytes; the
        // check is made between symbols, so the last match may run past it.
        u8* const stop = std::size_t(out_end - out_next) > kBlockSpan ? out_next + kBlockSpan : out_end;
        DecodeResult r = DecodeResult::kSuccess;
        if (std::size_t(br.end - br.next) >= kFastInputMargin && std::size_t(out_end - out_next) > kFastOutputSlack) {
            u8* const out_fast_end = std::min(stop, out_end - kFastOutputSlack);
            if (out_next < out_fast_end) {
                if (std::size_t(out_next - out_begin) < kMaxOffset)
                    r = DecodeSymbolsFast<true>(br, handle->table, out_begin, out_next, out_fast_end, out_end);
                else
                    r = DecodeSymbolsFast<false>(br, handle->table, out_begin, out_next, out_fast_end, out_end);
            }
        }
        if (r == DecodeResult::kSuccess)
            r = DecodeSymbolsChecked(br, handle->table, out_begin, out_next, stop, out_end);
        if (r != DecodeResult::kSuccess) return r;
        // Unread bits of the register are padding; the next table starts at br.next.
    }
    return DecodeResult::kSuccess;
}

const char* DecodeResultText(DecodeResult result) {
    switch (result) {
        case DecodeResult::kSuccess: return "ok";
        case DecodeResult::kTruncated: return "truncated stream";
        case DecodeResult::kBadTable: return "invalid Huffman code-length table";
        case DecodeResult::kBadLength: return "invalid match length";
        case DecodeResult::kBadOffset: return "match offset before start of output";
    }
    return "unknown error";
}

bool CreateDecompressor(std::uint32_t algorithm, Decompressor** handle) {
    if (handle == nullptr) return false;
    *handle = nullptr;
    if (algorithm != COMPRESS_ALGORITHM_XPRESS_HUFF) return false;
    // malloc rather than new: the setup program links no C++ allocation or
    // exception support, and the handle is plain data.
    *handle = static_cast<Decompressor*>(std::malloc(sizeof(Decompressor)));
    return *handle != nullptr;
}

void CloseDecompressor(Decompressor* handle) { std::free(handle); }

}  // namespace xpress
