// Raw LZ77+Huffman decoder.
//
// The bit reader follows the format's exact refill rule: a 32-bit register
// with its valid bits at the top, and after each field (a Huffman code or an
// offset's extra bits) one 16-bit word fetched if fewer than 16 bits remain.
// Escape bytes of long lengths are read from the same pointer, i.e. after
// every word fetched so far, so the register may never read ahead: a wider
// branchless refill would swallow those bytes.
//
// Each block is decoded by a fast loop that skips the input checks while at
// least kFastInputMargin bytes remain, then by a checked loop for the tail.
// Output checks are never skipped: a match length may exceed any margin.
#include <new>

#include "decode_table.h"
#include "xpress.h"

namespace xpress {

struct Decompressor {
    DecodeTable table;
};

namespace {

// One symbol reads at most: a refill after its code (2 bytes), escape bytes
// (1 + 2 + 4) and a refill after its offset bits (2 bytes).
constexpr std::size_t kFastInputMargin = 2 + 7 + 2;

// A match copy may store up to this many bytes past its end.
constexpr std::size_t kCopyOvershoot = 8;

struct BitReader {
    u32 reg;           // valid bits at the top, zeros below
    unsigned avail;    // number of valid bits in reg; 16..32 between fields
    const u8* next;
    const u8* end;
};

// Copies `length` bytes from `offset` back, forward, correct when the ranges
// overlap.  The caller has checked both against the buffer.
XPRESS_FORCEINLINE void CopyMatch(u8* dst, std::size_t offset, std::size_t length, u8* out_end) {
    const u8* src = dst - offset;
    u8* const end = dst + length;
    if (XPRESS_LIKELY(offset >= 8 && std::size_t(out_end - end) >= kCopyOvershoot)) {
        // Each 8-byte load ends at or before dst, so it reads finished output.
        do {
            StoreU64(dst, LoadU64(src));
            dst += 8;
            src += 8;
        } while (dst < end);
    } else if (offset == 1) {
        std::memset(dst, dst[-1], length);
    } else {
        while (dst < end) *dst++ = *src++;
    }
}

// Decodes symbols until the output reaches `stop` or, in the fast variant,
// until the input comes within kFastInputMargin of its end.
template <bool kChecked>
XPRESS_FORCEINLINE DecodeResult DecodeSymbols(BitReader& br, const DecodeTable& table, u8* out_begin,
                                              u8*& out_next_ref, u8* stop, u8* out_end) {
    u8* out_next = out_next_ref;
    const u8* const in_fast_end = br.end - (kChecked ? 0 : kFastInputMargin);
    u32 reg = br.reg;
    unsigned avail = br.avail;
    DecodeResult result = DecodeResult::kSuccess;

#define XPRESS_REFILL()                                                 \
    do {                                                                \
        if (avail < 16) {                                               \
            if (kChecked && XPRESS_UNLIKELY(br.end - br.next < 2)) {    \
                result = DecodeResult::kTruncated;                      \
                goto out;                                               \
            }                                                           \
            reg |= u32(LoadU16(br.next)) << (16 - avail);               \
            br.next += 2;                                               \
            avail += 16;                                                \
        }                                                               \
    } while (0)
#define XPRESS_FAIL_IF(cond, why)           \
    do {                                    \
        if (XPRESS_UNLIKELY(cond)) {        \
            result = DecodeResult::why;     \
            goto out;                       \
        }                                   \
    } while (0)

    while (out_next < stop && (kChecked || br.next <= in_fast_end)) {
        u32 entry = table.entries[reg >> (32 - kRootBits)];
        if (XPRESS_UNLIKELY(entry & kSubtableFlag)) {
            // avail >= 16 before the code, so kSubBits bits remain after the root's.
            reg <<= kRootBits;
            avail -= kRootBits;
            entry = table.entries[(entry & ~kSubtableFlag) + (reg >> (32 - kSubBits))];
        }
        const unsigned code_length = entry & 15;
        const unsigned sym = entry >> 4;
        reg <<= code_length;
        avail -= code_length;
        XPRESS_REFILL();
        if (sym < kNumLiterals) {
            *out_next++ = u8(sym);
            continue;
        }

        const unsigned offset_bits = (sym - kNumLiterals) >> 4;
        std::size_t length = (sym - kNumLiterals) & 15;  // length - 3 until the end
        if (length == kLengthNibbleEscape) {
            XPRESS_FAIL_IF(kChecked && br.end - br.next < 1, kTruncated);
            const unsigned b = *br.next++;
            if (b <= kMaxOneByteExtra) {
                length = kLengthNibbleEscape + b;
            } else {
                XPRESS_FAIL_IF(kChecked && br.end - br.next < 2, kTruncated);
                length = LoadU16(br.next);
                br.next += 2;
                if (length == 0) {
                    XPRESS_FAIL_IF(kChecked && br.end - br.next < 4, kTruncated);
                    length = LoadU32(br.next);
                    br.next += 4;
                }
                // Values below 15 would have fitted the nibble: no encoder writes them.
                XPRESS_FAIL_IF(length < kLengthNibbleEscape, kBadLength);
            }
        }
        length += kMinMatchLength;

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
#undef XPRESS_FAIL_IF
    br.reg = reg;
    br.avail = avail;
    out_next_ref = out_next;
    return result;
}

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
        if (std::size_t(br.end - br.next) >= kFastInputMargin)
            r = DecodeSymbols<false>(br, handle->table, out_begin, out_next, stop, out_end);
        if (r == DecodeResult::kSuccess)
            r = DecodeSymbols<true>(br, handle->table, out_begin, out_next, stop, out_end);
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
    *handle = new (std::nothrow) Decompressor;
    return *handle != nullptr;
}

void CloseDecompressor(Decompressor* handle) { delete handle; }

}  // namespace xpress
