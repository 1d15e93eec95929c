// The raw LZ77+Huffman decoder's loops, shared by the decoder that writes
// (decompressor.cpp) and the check without output (check_raw.cpp): two files,
// so that a program that only decodes does not carry the check.
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
//
// Whether a stream decodes does not depend on the bytes it produces, so the
// checked loop also runs without output (CheckRaw): it tracks only the
// output position and then fails exactly where decoding would.
#pragma once

#include <algorithm>

#include "decode_table.h"
#include "xpress.h"

namespace xpress {

struct Decompressor {
    DecodeTable table;
};

namespace {

// A match copy may store up to this many bytes past its end.
constexpr std::size_t kCopyOvershoot = 16;

// The exact reader.  Between fields it holds 16..32 bits, so a field of up
// to 16 bits can always be taken before the next Refill.
struct BitReader {
    u32 reg;         // valid bits at the top, zeros below
    unsigned avail;  // number of valid bits in reg; 16..32 between fields
    const u8* next;
    const u8* end;

    // The top n bits (1..32).
    XPRESS_FORCEINLINE u32 Peek(unsigned n) const { return reg >> (32 - n); }

    XPRESS_FORCEINLINE void Consume(unsigned n)
    {
        reg <<= n;
        avail -= n;
    }

    // After a field: one word more if fewer than 16 bits remain; false when
    // the input has no word left.
    XPRESS_FORCEINLINE bool Refill()
    {
        if (avail >= 16)
            return true;
        if (end - next < 2)
            return false;
        reg |= u32(LoadU16(next)) << (16 - avail);
        next += 2;
        avail += 16;
        return true;
    }
};

// Copies `length` bytes from `offset` back, forward, correct when the ranges
// overlap, storing whole words up to kCopyOvershoot bytes past the match
// (the caller guarantees the room and has checked offset and length):
//  - offset >= 16 (8): each 16-byte (8-byte) load ends at or before dst,
//    i.e. reads finished output;
//  - offset 1: the byte broadcast to a word (short runs of one byte are
//    common; long ones go to memset);
//  - offsets 2..7: a word load and store stepping by `offset`: each store's
//    first `offset` bytes are final, and the next store begins there.
XPRESS_FORCEINLINE void CopyMatchWithSlack(u8* dst, std::size_t offset, std::size_t length)
{
    const u8* src = dst - offset;
    u8* const end = dst + length;
    if (offset >= 16) {
        do {
            u8 chunk[16];
            std::memcpy(chunk, src, 16);
            std::memcpy(dst, chunk, 16);
            dst += 16;
            src += 16;
        } while (dst < end);
    } else if (offset >= 8) {
        do {
            StoreU64(dst, LoadU64(src));
            dst += 8;
            src += 8;
        } while (dst < end);
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
XPRESS_FORCEINLINE void CopyMatch(u8* dst, std::size_t offset, std::size_t length, u8* out_end)
{
    if (XPRESS_LIKELY(std::size_t(out_end - dst) - length >= kCopyOvershoot)) {
        CopyMatchWithSlack(dst, offset, length);
    } else {
        const u8* src = dst - offset;
        for (std::size_t i = 0; i < length; i++)
            dst[i] = src[i];
    }
}

// As CopyMatchWithSlack for a match of at most 24 bytes, without a loop
// where the offset allows: 24 bytes are stored, whatever the length.
constexpr std::size_t kShortCopy = 24;
XPRESS_FORCEINLINE void CopyShortMatchWithSlack(u8* dst, std::size_t offset, std::size_t length)
{
    const u8* src = dst - offset;
    if (XPRESS_LIKELY(offset >= 8)) {
        StoreU64(dst, LoadU64(src));
        StoreU64(dst + 8, LoadU64(src + 8));
        StoreU64(dst + 16, LoadU64(src + 16));
    } else if (offset == 1) {
        const u64 v = dst[-1] * 0x0101010101010101ull;
        StoreU64(dst, v);
        StoreU64(dst + 8, v);
        StoreU64(dst + 16, v);
    } else {
        u8* const end = dst + length;
        do {
            StoreU64(dst, LoadU64(src));
            dst += offset;
            src += offset;
        } while (dst < end);
    }
}

// Decodes symbols with the exact reader until the output position `pos`
// reaches `stop`, checking every read against the input's end.  Used for
// each block's last symbols and for the input's tail; without kWrite (and
// with a null `out`) for the whole stream, as only the position counts.
// On failure `br` and `pos_ref` are left as they were: the stream is given up.
template <bool kWrite>
DecodeResult DecodeSymbolsChecked(BitReader& br, const DecodeTable& table, u8* out, std::size_t& pos_ref,
                                  std::size_t stop, std::size_t out_size)
{
    // A copy, so that it stays in registers across the stores to out.
    BitReader r = br;
    std::size_t pos = pos_ref;
    while (pos < stop) {
        u32 entry = table.entries[r.Peek(kRootBits)];
        if (entry & kSubtableFlag) {
            // avail >= 16 before the code, so kSubBits bits remain after the root's.
            r.Consume(kRootBits);
            entry = table.entries[((entry >> kEntryValueShift) & kEntryValueMask) + r.Peek(kSubBits)];
        }
        const u32 value = (entry >> kEntryValueShift) & kEntryValueMask;
        std::size_t length = (entry >> kEntryLengthShift) & kEntryLengthMask;
        const unsigned offset_bits = entry & kLiteralFlag ? 0 : FloorLog2(value + 1);
        r.Consume((entry & kEntryBitsMask) - (length == kEscapedLength ? 0 : offset_bits));
        if (XPRESS_UNLIKELY(!r.Refill()))
            return DecodeResult::kTruncated;
        if (entry & kLiteralFlag) {
            if (kWrite)
                out[pos] = u8(value);
            pos++;
            continue;
        }

        if (length == kEscapedLength) {
            if (XPRESS_UNLIKELY(r.end - r.next < 1))
                return DecodeResult::kTruncated;
            const unsigned b = *r.next++;
            if (b <= kMaxOneByteExtra) {
                length = kLengthNibbleEscape + b;
            } else {
                if (XPRESS_UNLIKELY(r.end - r.next < 2))
                    return DecodeResult::kTruncated;
                length = LoadU16(r.next);
                r.next += 2;
                if (length == 0) {
                    if (XPRESS_UNLIKELY(r.end - r.next < 4))
                        return DecodeResult::kTruncated;
                    length = LoadU32(r.next);
                    r.next += 4;
                }
                // Values below 15 would have fitted the nibble: no encoder writes them.
                if (XPRESS_UNLIKELY(length < kLengthNibbleEscape))
                    return DecodeResult::kBadLength;
            }
            length += kMinMatchLength;
        }

        std::size_t offset = value + 1;  // 2^k
        if (offset_bits != 0) {          // Peek(0) would shift by 32
            offset |= r.Peek(offset_bits);
            r.Consume(offset_bits);
            if (XPRESS_UNLIKELY(!r.Refill()))
                return DecodeResult::kTruncated;
        }
        if (XPRESS_UNLIKELY(offset > pos))
            return DecodeResult::kBadOffset;
        if (XPRESS_UNLIKELY(length > out_size - pos))
            return DecodeResult::kBadLength;
        if (kWrite)
            CopyMatch(out + pos, offset, length, out + out_size);
        pos += length;
    }
    br = r;
    pos_ref = pos;
    return DecodeResult::kSuccess;
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

// The fast loop's reader.  A local of the loop, never in memory: all of it
// stays in registers.
struct FastBitReader {
    u64 bitbuf;      // valid bits at the top; below them zeros or the next bits of the stream
    u64 bitsleft;    // the count of valid bits in the low 6 bits; garbage above (see ConsumeEntry)
    const u8* next;  // the word after the last one fetched

    // Starts from the exact reader's state.
    explicit XPRESS_FORCEINLINE FastBitReader(const BitReader& br)
        : bitbuf(u64(br.reg) << 32), bitsleft(br.avail), next(br.next)
    {
    }

    // The entry of the root table the next bits select.
    XPRESS_FORCEINLINE u64 Lookup(const u32* entries) const { return entries[bitbuf >> (64 - kRootBits)]; }

    XPRESS_FORCEINLINE void Consume(unsigned n)
    {
        bitbuf <<= n;
        bitsleft -= n;
    }

    // Consumes the count in an entry's low 6 bits: x86 shifts ignore the
    // count's higher bits (the mask costs no instruction), and the low 6
    // bits of the difference are those of the counts.
    XPRESS_FORCEINLINE void ConsumeEntry(u64 entry)
    {
        bitbuf <<= entry & 63;
        bitsleft -= entry;
    }

    // With 16 or more bits left, adds the whole words that fit of the next
    // two (rotating the little-endian pair puts the first word on top):
    // 48..63 bits remain.  Setting bits 4 and 5 of the count adds exactly
    // those words' 32, 16 or 0 bits.  Without a branch, as whether a word is
    // due is a coin flip.  Bits of a word only partly added are the stream's
    // own and are simply added again next time.
    XPRESS_FORCEINLINE void Refill()
    {
        const u32 pair = LoadU32(next);
        bitbuf |= (u64(pair << 16 | pair >> 16) << 32) >> (bitsleft & 63);
        next += (~bitsleft & 48) >> 3;
        bitsleft |= 48;
    }

    // Becomes the exact reader at the same point, between fields: keeps its
    // 16..31 bits and drops the words fetched after them.
    XPRESS_FORCEINLINE void StepBackToExact()
    {
        const u64 avail = 16 + (bitsleft & 15);
        next -= ((bitsleft & 63) - avail) >> 3;
        bitsleft = avail;
        bitbuf &= ~(~u64(0) >> avail);
    }
};

// The loop runs while out_next < out_fast_end, which the caller sets to at
// most `stop` and out_end - kFastOutputSlack.  An iteration decodes one
// symbol, so the block-limit test between symbols never fails inside it,
// and a match of up to 17 bytes (no escape) with its copy's overshoot stays
// within the output: such matches need no length check.
constexpr std::size_t kMaxUnescapedLength = kLengthNibbleEscape - 1 + kMinMatchLength;
constexpr std::size_t kFastOutputSlack = kMaxUnescapedLength + kCopyOvershoot;
static_assert(kShortCopy <= kFastOutputSlack && kCommonCopy <= kFastOutputSlack, "copies stay within the output");

// A window is handed on once less than this is left in it (see DecodeStream).
constexpr std::size_t kWindowSlack = kBlockSpan + kMaxEncodeMatchLength;
static_assert(kWindowOverhead == kMaxOffset + 1 + kWindowSlack, "the overhead is kept history and slack");

// Each byte value at its own index, then room for a kCommonCopy-byte load:
// the fast loop copies a literal from here.
struct LiteralBytes {
    u8 bytes[256 + kCommonCopy];
    constexpr LiteralBytes() : bytes()
    {
        for (unsigned i = 0; i < 256; i++)
            bytes[i] = u8(i);
    }
};
alignas(64) constexpr LiteralBytes kLiteralBytes;

// `negative < 0 ? a : b` without a branch.  Compilers make the conditional
// expression a branch, which mispredicts about every other time when it
// chooses between a literal and a match.
XPRESS_FORCEINLINE std::uintptr_t SelectIfNegative(std::int32_t negative, std::uintptr_t a, std::uintptr_t b)
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __asm__("testl %1, %1\n\tcmovsq %2, %0" : "+r"(b) : "r"(negative), "r"(a) : "cc");
    return b;
#else
    const std::uintptr_t mask = std::uintptr_t(std::intptr_t(negative) >> 31);
    return b ^ ((a ^ b) & mask);
#endif
}

// Decodes symbols while at least kFastInputMargin input bytes remain and
// out_next < out_fast_end; the caller has checked both hold at entry.
// Offsets need checking only within kMaxOffset bytes of the output's start.
// Leaves `br` as the exact reader would be at the same point; on failure
// leaves `br` and `out_next_ref` as they were.
//
// Most symbols take the common road, which has no branch: a literal is
// copied like a match, from kLiteralBytes, so that nothing waits for the
// literal-or-match decision, which no predictor gets right much more often
// than not.  The rest (subtables, escapes, length 17 and offsets below 8)
// take the special road.  In a block of mostly literals (kLiteralRuns), the
// decision is predictable after all, and a literal's own road, a store of
// one byte, is cheaper than the common road.
template <bool kCheckOffsets, bool kLiteralRuns>
DecodeResult DecodeSymbolsFast(BitReader& br, const DecodeTable& table, u8* out_begin, u8*& out_next_ref,
                               u8* out_fast_end, u8* out_end)
{
    u8* out_next = out_next_ref;
    FastBitReader f(br);
    const u8* const in_fast_end = br.end - kFastInputMargin;
    const u32* const entries = table.entries;

    // Each symbol's bits, offset bits included, leave in one shift, and the
    // next entry is looked up before anything waits on this one: the chain
    // of dependent loads then waits neither for a branch nor for the refill.
    f.Refill();
    u64 entry = f.Lookup(entries);
    do {
        // Rounds of iterations that cannot pass either margin, so that an
        // iteration tests only a count: one without escape bytes reads at
        // most 4 input bytes and writes at most kMaxUnescapedLength bytes,
        // and one with them ends its round.  (Only the first iteration may
        // start past in_fast_end, by the first refill; the margin covers
        // it, as it is measured from the exact reader's position.)
        const std::ptrdiff_t in_room = in_fast_end - f.next;
        std::size_t round = std::min(in_room < 0 ? 0 : std::size_t(in_room) / 4,
                                     std::size_t(out_fast_end - 1 - out_next) / kMaxUnescapedLength) +
                            1;
        do {
            // 48 or more bits left here: up to 30 for the symbol, 11 for the
            // next lookup, and 16 after a code for the exact reader's state.
            if (kLiteralRuns && std::int32_t(u32(entry)) < 0) {
                const u64 symbol = entry;
                f.ConsumeEntry(symbol);
                entry = f.Lookup(entries);
                *out_next++ = u8(symbol >> kEntryValueShift);
                f.Refill();
                continue;
            }
            if (XPRESS_UNLIKELY(entry & kSpecialFlag)) {
                if (entry & kSubtableFlag) {
                    f.Consume(kRootBits);
                    entry = entries[((entry >> kEntryValueShift) & kEntryValueMask) + (f.bitbuf >> (64 - kSubBits))];
                }
                if (entry & kSpecialFlag) {
                    const u64 symbol = entry;
                    const u64 symbol_bits = f.bitbuf;
                    f.Consume(symbol & kEntryBitsMask);
                    entry = f.Lookup(entries);
                    std::size_t length = (symbol >> kEntryLengthShift) & kEntryLengthMask;
                    const u32 mask = u32(symbol >> kEntryValueShift);  // 2^k - 1
                    std::size_t offset;
                    if (length != kEscapedLength) {
                        // Rotating by the bits consumed brings the offset bits to the bottom.
                        offset = (RotateLeft(symbol_bits, symbol & kEntryBitsMask) & mask) + mask + 1;
                        f.Refill();
                        if (kCheckOffsets && XPRESS_UNLIKELY(offset > std::size_t(out_next - out_begin)))
                            return DecodeResult::kBadOffset;
                        CopyShortMatchWithSlack(out_next, offset, length);
                        out_next += length;
                        continue;
                    }
                    // Only the code has been consumed: the escape bytes are
                    // read where the exact reader would read them.
                    f.StepBackToExact();
                    const unsigned b = *f.next++;
                    if (b <= kMaxOneByteExtra) {
                        length = kLengthNibbleEscape + b;
                    } else {
                        length = LoadU16(f.next);
                        f.next += 2;
                        if (length == 0) {
                            length = LoadU32(f.next);
                            f.next += 4;
                        }
                        if (XPRESS_UNLIKELY(length < kLengthNibbleEscape))
                            return DecodeResult::kBadLength;
                    }
                    length += kMinMatchLength;
                    f.Refill();
                    // The top bit set above the offset bits gives 2^k + bits,
                    // and 1 for k = 0, with no shift by 64.
                    const unsigned offset_bits = FloorLog2(mask + 1);
                    offset = ((f.bitbuf >> 1) | (u64(1) << 63)) >> (63 - offset_bits);
                    f.Consume(offset_bits);
                    entry = f.Lookup(entries);
                    f.Refill();
                    if (kCheckOffsets && XPRESS_UNLIKELY(offset > std::size_t(out_next - out_begin)))
                        return DecodeResult::kBadOffset;
                    if (XPRESS_UNLIKELY(length > std::size_t(out_end - out_next)))
                        return DecodeResult::kBadLength;
                    CopyMatch(out_next, offset, length, out_end);
                    out_next += length;
                    round = 1;
                    continue;
                }
            }

            // The common road: a literal, or a match of at most kCommonCopy
            // bytes from at least 8 back (each 8-byte load reads finished
            // output).
            const u64 symbol = entry;
            const u64 symbol_bits = f.bitbuf;
            f.ConsumeEntry(symbol);
            entry = f.Lookup(entries);
            // Rotating by the bits consumed brings the offset bits to the
            // bottom.  For a literal, value is the byte plus kLiteralFlag >> 16
            // and the match source is meaningless; it is never read.
            const u32 value = u32(symbol >> kEntryValueShift);
            const std::uintptr_t match_src =
                reinterpret_cast<std::uintptr_t>(out_next) - 1 - value - (RotateLeft(symbol_bits, symbol & 63) & value);
            const std::uintptr_t literal_src =
                reinterpret_cast<std::uintptr_t>(kLiteralBytes.bytes) - (kLiteralFlag >> kEntryValueShift) + value;
            if (kCheckOffsets) {
                // The offset, or 0 for a literal.
                const std::uintptr_t offset = (reinterpret_cast<std::uintptr_t>(out_next) - match_src) &
                                              ~std::uintptr_t(std::intptr_t(std::int32_t(u32(symbol))) >> 31);
                if (XPRESS_UNLIKELY(offset > std::size_t(out_next - out_begin)))
                    return DecodeResult::kBadOffset;
            }
            const u8* const src =
                reinterpret_cast<const u8*>(SelectIfNegative(std::int32_t(u32(symbol)), literal_src, match_src));
            static_assert(kCommonCopy == 16, "two words");
            StoreU64(out_next, LoadU64(src));
            StoreU64(out_next + 8, LoadU64(src + 8));
            out_next += u8(symbol >> kEntryLengthShift);  // bit 15 is zero
            f.Refill();
        } while (--round != 0);
    } while (f.next <= in_fast_end && out_next < out_fast_end);

    // At least one symbol was decoded and bitsleft >= 48 (see above).
    f.StepBackToExact();
    br.next = f.next;
    br.avail = unsigned(f.bitsleft);
    br.reg = u32(f.bitbuf >> 32);
    out_next_ref = out_next;
    return DecodeResult::kSuccess;
}

// Decodes a raw stream of out_size bytes into `window`, or with kWrite false
// only checks that it would (window is then null).  A window smaller than the
// output is handed to `sink` part by part, between blocks, once fewer than
// kWindowSlack bytes are left, keeping its last kMaxOffset bytes for the
// matches that reach back.  Positions are the window's: offsets need checking
// only while fewer than kMaxOffset bytes lie before, and then the window holds
// the whole output so far.  A match that does not fit what is left of a full
// window fails as kBadLength, which only a whole output decides.  On success
// *consumed (when given) is where the stream's next block would begin.
template <bool kWrite>
DecodeResult DecodeStream(DecodeTable& table, const void* compressed, std::size_t compressed_size, u8* window,
                          std::size_t window_size, std::size_t out_size, DecodeSink sink, void* context,
                          std::size_t* consumed = nullptr)
{
    BitReader br;
    br.next = static_cast<const u8*>(compressed);
    br.end = br.next + compressed_size;
    std::size_t pos = 0, fresh = 0, left = out_size;

    while (left != 0) {
        if (kWrite && window_size - pos < std::min(left, kWindowSlack)) {
            if (!sink(context, window + fresh, pos - fresh))
                return DecodeResult::kStopped;
            const std::size_t keep = std::min<std::size_t>(pos, kMaxOffset);
            std::memmove(window, window + pos - keep, keep);
            pos = fresh = keep;
        }
        const bool whole = !kWrite || window_size - pos >= left;
        if (!whole && window_size - pos < kBlockSpan)
            return DecodeResult::kBadLength;  // a window too small
        const std::size_t out_end = whole ? pos + left : window_size;
        const std::size_t start = pos;
        if (std::size_t(br.end - br.next) < kBlockHeaderBytes)
            return DecodeResult::kTruncated;
        if (!BuildDecodeTable(br.next, &table))
            return DecodeResult::kBadTable;
        br.next += kTableBytes;
        br.reg = u32(LoadU16(br.next)) << 16 | LoadU16(br.next + 2);
        br.next += 4;
        br.avail = 32;

        // The table ends once the block has produced kBlockSpan bytes; the
        // check is made between symbols, so the last match may run past it.
        const std::size_t stop = left > kBlockSpan ? pos + kBlockSpan : out_end;
        DecodeResult r = DecodeResult::kSuccess;
        if constexpr (kWrite) {
            const std::size_t fast_end = std::min(stop, out_end - std::min(out_end, kFastOutputSlack));
            if (std::size_t(br.end - br.next) >= kFastInputMargin && pos < fast_end) {
                u8* out_next = window + pos;
                u8* const out_fast_end = window + fast_end;
                if (pos < kMaxOffset && table.mostly_literals)
                    r = DecodeSymbolsFast<true, true>(br, table, window, out_next, out_fast_end, window + out_end);
                else if (pos < kMaxOffset)
                    r = DecodeSymbolsFast<true, false>(br, table, window, out_next, out_fast_end, window + out_end);
                else if (table.mostly_literals)
                    r = DecodeSymbolsFast<false, true>(br, table, window, out_next, out_fast_end, window + out_end);
                else
                    r = DecodeSymbolsFast<false, false>(br, table, window, out_next, out_fast_end, window + out_end);
                pos = std::size_t(out_next - window);
            }
        }
        if (r == DecodeResult::kSuccess)
            r = DecodeSymbolsChecked<kWrite>(br, table, window, pos, stop, out_end);
        if (r != DecodeResult::kSuccess)
            return r;
        left -= pos - start;
        // Unread bits of the register are padding; the next table starts at br.next.
    }
    if (kWrite && sink != nullptr && !sink(context, window + fresh, pos - fresh))
        return DecodeResult::kStopped;
    if (consumed != nullptr)
        *consumed = std::size_t(br.next - static_cast<const u8*>(compressed));
    return DecodeResult::kSuccess;
}

}  // namespace

}  // namespace xpress
