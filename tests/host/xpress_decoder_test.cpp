// Decoder rules pinned with crafted streams: table validation, truncation at
// every kind of read, escape forms, offset and length bounds, the block
// limit measured from each table, and the buffer-mode header checks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stream_builder.h"
#include "xpress.h"

namespace {

using Bytes = StreamBuilder::Bytes;
using xpress::DecodeResult;

constexpr unsigned kA = 'a', kB = 'b';
constexpr unsigned kOffset1Escaped = 256 + 15;  // offset 1, length from escape bytes

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &d_)); }
    void TearDown() override { xpress::CloseDecompressor(d_); }

    DecodeResult Decode(const Bytes& in, std::size_t n, std::string* out = nullptr) {
        std::string buf(n, '\0');
        const DecodeResult r = xpress::DecompressRaw(d_, in.data(), in.size(), buf.data(), n);
        if (out) *out = buf;
        return r;
    }

    xpress::Decompressor* d_ = nullptr;
};

// Four 2-bit codes: a, b and two match symbols.
StreamBuilder FourSymbolBlock(unsigned match1, unsigned match2) {
    StreamBuilder s;
    s.BeginBlock({{kA, 2}, {kB, 2}, {match1, 2}, {match2, 2}});
    return s;
}

TEST_F(DecoderTest, DecodesLiteralsAndIgnoresTrailingBytes) {
    StreamBuilder s;
    s.BeginBlock({{kA, 1}, {kB, 1}});
    for (char c : std::string("abba")) s.Symbol(unsigned(c));
    s.EndBlock();
    Bytes in = s.bytes();
    std::string out;
    ASSERT_EQ(Decode(in, 4, &out), DecodeResult::kSuccess);
    EXPECT_EQ(out, "abba");
    in.insert(in.end(), {1, 2, 3});
    EXPECT_EQ(Decode(in, 4), DecodeResult::kSuccess);
    EXPECT_EQ(Decode({}, 0), DecodeResult::kSuccess);
}

TEST_F(DecoderTest, RejectsTablesThatAreNotExactlyComplete) {
    const std::map<unsigned, unsigned> tables[] = {
        {{kA, 1}, {kB, 1}, {'c', 1}},            // over-subscribed
        {{kA, 1}, {kB, 2}},                      // incomplete
        {},                                      // empty
        {{kA, 1}},                               // a single code
        {{kA, 15}, {kB, 15}},                    // incomplete with long codes
    };
    for (const auto& t : tables) {
        StreamBuilder s;
        s.BeginBlock(t);
        s.Bits(0, 16);
        s.EndBlock();
        EXPECT_EQ(Decode(s.bytes(), 1), DecodeResult::kBadTable) << "table with " << t.size() << " codes";
    }
}

TEST_F(DecoderTest, MatchSymbol256IsAMatchUntilTheOutputIsComplete) {
    StreamBuilder s = FourSymbolBlock(256, 257);
    s.Symbol(kA);
    s.Match(0, 0, 0);  // symbol 256: offset 1, length 3
    s.Symbol(kB);
    s.Symbol(256);     // end marker, never read
    s.EndBlock();
    std::string out;
    ASSERT_EQ(Decode(s.bytes(), 5, &out), DecodeResult::kSuccess);
    EXPECT_EQ(out, "aaaab");
}

TEST_F(DecoderTest, ChecksOffsetsAgainstTheOutputProduced) {
    // Four literals, then offset 4 + low bits (2 extra bits): low 0 is valid, 1 is not.
    for (unsigned low : {0u, 1u}) {
        StreamBuilder s = FourSymbolBlock(256 + (2 << 4), 257);
        for (unsigned c : {kA, kB, kB, kA}) s.Symbol(c);
        s.Match(2, 0, low);
        s.EndBlock();
        std::string out;
        EXPECT_EQ(Decode(s.bytes(), 7, &out), low == 0 ? DecodeResult::kSuccess : DecodeResult::kBadOffset);
        if (low == 0) {
            EXPECT_EQ(out, "abbaabb");
        }
    }
    StreamBuilder s = FourSymbolBlock(256, 257);
    s.Match(0, 0, 0);  // offset 1 with nothing produced
    s.EndBlock();
    EXPECT_EQ(Decode(s.bytes(), 3), DecodeResult::kBadOffset);
}

TEST_F(DecoderTest, RejectsLengthsPastTheEndOfTheOutput) {
    StreamBuilder s = FourSymbolBlock(256 + 14, 257);  // offset 1, length 17
    s.Symbol(kA);
    s.Match(0, 14, 0);
    s.EndBlock();
    EXPECT_EQ(Decode(s.bytes(), 10), DecodeResult::kBadLength);
    EXPECT_EQ(Decode(s.bytes(), 18), DecodeResult::kSuccess);
}

// Escaped lengths: one byte, 0xFF + u16, 0xFF + u16 0 + u32; the u16 and
// u32 hold the whole length - 3 and must be at least 15.
struct Escape {
    std::vector<std::uint8_t> bytes;
    std::size_t length;  // 0: invalid
};

Bytes EscapedRun(const Escape& e) {
    StreamBuilder s = FourSymbolBlock(kOffset1Escaped, 257);
    s.Symbol(kA);
    s.EscapedMatchBegin(0);
    for (std::uint8_t b : e.bytes) s.RawByte(b);
    s.EndBlock();
    return s.bytes();
}

TEST_F(DecoderTest, DecodesEachEscapeForm) {
    const Escape valid[] = {
        {{0}, 18},
        {{254}, 272},
        {{255, 15, 0}, 18},
        {{255, 0x0F, 0x01}, 274},
        {{255, 0xFD, 0xFF}, 65536},
        {{255, 0, 0, 0x6D, 0x11, 0x01, 0}, 70000},
    };
    for (const Escape& e : valid) {
        std::string out;
        ASSERT_EQ(Decode(EscapedRun(e), 1 + e.length, &out), DecodeResult::kSuccess) << e.length;
        EXPECT_EQ(out, std::string(1 + e.length, 'a'));
    }
}

TEST_F(DecoderTest, RejectsEscapeValuesBelow15) {
    for (std::uint8_t v = 1; v < 15; v++)
        EXPECT_EQ(Decode(EscapedRun({{255, v, 0}, 0}), 100), DecodeResult::kBadLength) << "u16 " << int(v);
    for (std::uint8_t w = 0; w < 15; w++)
        EXPECT_EQ(Decode(EscapedRun({{255, 0, 0, w, 0, 0, 0}, 0}), 100), DecodeResult::kBadLength) << "u32 " << int(w);
}

TEST_F(DecoderTest, ReportsTruncationAtEveryKindOfRead) {
    // Escape bytes missing: none, the u16 half-present, the u32 partly present.
    for (const Escape& e : {Escape{{}, 0}, Escape{{255, 20}, 0}, Escape{{255, 0, 0, 20, 0}, 0}})
        EXPECT_EQ(Decode(EscapedRun(e), 100), DecodeResult::kTruncated) << e.bytes.size() << " escape bytes";

    // A refill word missing: 40 two-bit literals need 5 words.
    StreamBuilder s = FourSymbolBlock(256, 257);
    for (int i = 0; i < 40; i++) s.Symbol(i % 3 ? kA : kB);
    s.EndBlock();
    Bytes in = s.bytes();
    ASSERT_EQ(Decode(in, 40), DecodeResult::kSuccess);
    for (std::size_t cut : {std::size_t(2), std::size_t(4)}) {
        Bytes shorter(in.begin(), in.end() - std::ptrdiff_t(cut));
        EXPECT_EQ(Decode(shorter, 40), DecodeResult::kTruncated) << "cut " << cut;
    }
    // Table or priming words missing.
    for (std::size_t size : {std::size_t(0), std::size_t(100), std::size_t(259)})
        EXPECT_EQ(Decode(Bytes(in.begin(), in.begin() + std::ptrdiff_t(size)), 1), DecodeResult::kTruncated) << size;
}

// Block 1: 'a' and a match of `first_length`; block 2: 'b' and a match to N.
Bytes TwoBlocks(std::uint16_t first_length_minus3, std::uint16_t second_length_minus3) {
    StreamBuilder s;
    s.BeginBlock({{kA, 1}, {kOffset1Escaped, 1}});
    s.Symbol(kA);
    s.EscapedMatchBegin(0);
    s.RawByte(255);
    s.RawU16(first_length_minus3);
    s.EndBlock();
    s.BeginBlock({{kB, 1}, {kOffset1Escaped, 1}});
    s.Symbol(kB);
    s.EscapedMatchBegin(0);
    s.RawByte(255);
    s.RawU16(second_length_minus3);
    s.EndBlock();
    return s.bytes();
}

TEST_F(DecoderTest, StartsTheNextTableWhereTheBlockLimitIsFirstReached) {
    // Reaching exactly 65,536 bytes, then crossing the limit by 3 (the most
    // a u16 escape allows): the second table follows either way.
    for (std::size_t first : {std::size_t(65535), std::size_t(65538)}) {
        const std::size_t n = 1 + first + 1 + 300;
        std::string out;
        const Bytes in = TwoBlocks(std::uint16_t(first - 3), 300 - 3);
        ASSERT_EQ(Decode(in, n, &out), DecodeResult::kSuccess) << first;
        EXPECT_EQ(out, std::string(1 + first, 'a') + std::string(301, 'b'));
        // Without the second block the stream is short.
        EXPECT_EQ(Decode(Bytes(in.begin(), in.begin() + 256 + 4 + 3), n), DecodeResult::kTruncated);
    }
}

TEST_F(DecoderTest, BufferModeChecksItsHeader) {
    StreamBuilder s;
    s.BeginBlock({{kA, 1}, {kB, 1}});
    for (char c : std::string("abab")) s.Symbol(unsigned(c));
    s.EndBlock();
    Bytes good = {0x0A, 0x51, 0xE5, 0xC0, 24, 0, 1, 4, 4, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    const std::uint32_t raw = std::uint32_t(s.bytes().size());
    for (int i = 0; i < 4; i++) good.push_back(std::uint8_t(raw >> (8 * i)));
    good.insert(good.end(), s.bytes().begin(), s.bytes().end());

    char out[8];
    std::size_t size = 99;
    ASSERT_TRUE(xpress::Decompress(d_, good.data(), good.size(), out, sizeof out, &size));
    EXPECT_EQ(std::string(out, size), "abab");

    struct Damage {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    const Damage damages[] = {
        {"signature", 1, 0x52},   {"header length", 4, 25}, {"algorithm", 7, 3},
        {"second size", 16, 5},   {"block length", 24, 1},  {"stream table", 28, 0xFF},
    };
    for (const Damage& dmg : damages) {
        Bytes bad = good;
        bad[dmg.at] = dmg.value;
        std::memset(out, 'x', sizeof out);
        EXPECT_FALSE(xpress::Decompress(d_, bad.data(), bad.size(), out, sizeof out, &size)) << dmg.what;
        EXPECT_EQ(size, 0u) << dmg.what;
        if (dmg.at >= 28) {
            EXPECT_EQ(std::string(out, 4), std::string(4, '\0')) << "partial output zeroed";
        }
    }
    EXPECT_FALSE(xpress::Decompress(d_, good.data(), good.size(), out, 3, &size)) << "capacity below the size";
    EXPECT_FALSE(xpress::Decompress(d_, good.data(), good.size() - 1, out, sizeof out, &size)) << "short";
    EXPECT_FALSE(xpress::Decompress(d_, good.data(), 27, out, sizeof out, &size)) << "no block length";

    xpress::Decompressor* other = nullptr;
    EXPECT_FALSE(xpress::CreateDecompressor(3, &other));
    EXPECT_EQ(other, nullptr);
}

}  // namespace
