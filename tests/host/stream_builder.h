// Test-side writer of raw LZ77+Huffman streams, field by field, for crafting
// valid and broken inputs the encoder would never produce.  Independent of
// the library's writer: codes come from explicit lengths, and the words and
// raw bytes are laid out as the decoder fetches them (two words primed, one
// more once a word is complete and another bit arrives; raw bytes after the
// last reserved word).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class StreamBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Starts a block whose code gives `lengths[symbol]` bits to each listed
    // symbol (others unused).  The table is written as given, valid or not.
    void BeginBlock(const std::map<unsigned, unsigned>& lengths) {
        std::uint8_t table[256] = {};
        for (auto [sym, len] : lengths) table[sym / 2] |= std::uint8_t(len << (sym % 2 ? 4 : 0));
        out_.insert(out_.end(), table, table + 256);
        // Canonical codes: by length, then symbol.
        codes_.clear();
        unsigned code = 0;
        for (unsigned len = 1; len <= 15; len++) {
            for (auto [sym, l] : lengths) {
                if (l == len) codes_[sym] = {code++, len};
            }
            code <<= 1;
        }
        slot_a_ = Reserve();
        slot_b_ = Reserve();
        acc_ = 0;
        nbits_ = 0;
    }

    void Symbol(unsigned sym) {
        auto it = codes_.find(sym);
        Bits(it->second.first, it->second.second);
    }

    // A match symbol (offset_bits << 4 | nibble) followed by its offset bits.
    void Match(unsigned offset_bits, unsigned nibble, std::uint32_t offset_low_bits) {
        Symbol(256 + (offset_bits << 4) + nibble);
        if (offset_bits) Bits(offset_low_bits, offset_bits);
    }

    void Bits(std::uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;) {
            if (nbits_ == 16) {
                out_[slot_a_] = std::uint8_t(acc_);
                out_[slot_a_ + 1] = std::uint8_t(acc_ >> 8);
                slot_a_ = slot_b_;
                slot_b_ = Reserve();
                acc_ = 0;
                nbits_ = 0;
            }
            acc_ = std::uint16_t(acc_ << 1 | ((value >> i) & 1));
            nbits_++;
        }
    }

    void RawByte(std::uint8_t b) { out_.push_back(b); }
    void RawU16(std::uint16_t v) { RawByte(std::uint8_t(v)), RawByte(std::uint8_t(v >> 8)); }
    void RawU32(std::uint32_t v) { RawU16(std::uint16_t(v)), RawU16(std::uint16_t(v >> 16)); }

    // A match whose length needs escape bytes (nibble 15); writes the bytes
    // given, valid or not, between the code and the offset bits.
    void EscapedMatchBegin(unsigned offset_bits) { Symbol(256 + (offset_bits << 4) + 15); }

    void EndBlock() {
        if (nbits_ != 0) {
            const std::uint16_t word = std::uint16_t(acc_ << (16 - nbits_));
            out_[slot_a_] = std::uint8_t(word);
            out_[slot_a_ + 1] = std::uint8_t(word >> 8);
        }
        nbits_ = 0;
    }

    const Bytes& bytes() const { return out_; }

private:
    std::size_t Reserve() {
        out_.push_back(0);
        out_.push_back(0);
        return out_.size() - 2;
    }

    Bytes out_;
    std::map<unsigned, std::pair<unsigned, unsigned>> codes_;  // symbol -> (code, length)
    std::size_t slot_a_ = 0, slot_b_ = 0;
    std::uint16_t acc_ = 0;
    unsigned nbits_ = 0;
};
