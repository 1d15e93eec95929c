// Output side of the block layout: 16-bit words of bits plus raw length bytes.
//
// The decoder fetches its words ahead of use (two at a block start, one more
// whenever fewer than 16 bits remain after a field) and reads escape bytes
// after the last word fetched.  The writer mirrors that by reserving two word
// slots, A and B: a full word is stored into A only when the next bit
// arrives, then B becomes A and a new B is reserved at the end of the output.
// Raw bytes go to the end of the output, i.e. after every reserved slot,
// exactly where the decoder will look for them.
//
// Running out of space sets `overflow` once and sends further writes to a
// scratch area, so the per-token paths carry no error handling.
#pragma once

#include "common.h"

namespace xpress {

class BitWriter {
public:
    BitWriter(u8* out, std::size_t capacity) : next_(out), end_(out + capacity) {}

    // Reserves `n` zeroed bytes at the end of the output and returns them.
    u8* Reserve(std::size_t n)
    {
        if (XPRESS_UNLIKELY(std::size_t(end_ - next_) < n)) {
            overflow_ = true;
            std::memset(scratch_, 0, sizeof(scratch_));
            return scratch_;
        }
        u8* p = next_;
        std::memset(p, 0, n);
        next_ += n;
        return p;
    }

    // Starts the bits of a block: the two words the decoder reads first.
    void BeginBits()
    {
        slot_a_ = Reserve(2);
        slot_b_ = Reserve(2);
        acc_ = 0;
        nbits_ = 0;
    }

    // Appends the low `n` bits of `bits`, most significant first; n <= 16.
    XPRESS_FORCEINLINE void PutBits(u32 bits, unsigned n)
    {
        acc_ = (acc_ << n) | bits;
        nbits_ += n;
        if (nbits_ > 16) {
            nbits_ -= 16;
            StoreU16(slot_a_, u16(acc_ >> nbits_));
            slot_a_ = slot_b_;
            slot_b_ = Reserve(2);
        }
    }

    // Appends bytes written whole elsewhere (a block sequence made apart).
    void PutBytes(const u8* bytes, std::size_t n)
    {
        if (std::size_t(end_ - next_) < n) {
            overflow_ = true;
            return;
        }
        if (n != 0)
            std::memcpy(next_, bytes, n);
        next_ += n;
    }

    XPRESS_FORCEINLINE void PutRawByte(u8 v) { *Reserve(1) = v; }
    XPRESS_FORCEINLINE void PutRawU16(u16 v) { StoreU16(Reserve(2), v); }
    XPRESS_FORCEINLINE void PutRawU32(u32 v) { StoreU32(Reserve(4), v); }

    // Pads the pending bits with zeros into slot A; slot B stays zero.
    void EndBits()
    {
        if (nbits_ != 0)
            StoreU16(slot_a_, u16(acc_ << (16 - nbits_)));
        nbits_ = 0;
    }

    bool overflow() const { return overflow_; }
    u8* next() const { return next_; }

private:
    u8* next_;
    u8* end_;
    u8* slot_a_ = nullptr;
    u8* slot_b_ = nullptr;
    u32 acc_ = 0;         // pending bits in the low nbits_ positions
    unsigned nbits_ = 0;  // 0..16 between calls
    bool overflow_ = false;
    u8 scratch_[8];
};

}  // namespace xpress
