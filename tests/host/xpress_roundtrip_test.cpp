// Every level round-trips sizes around the block rule (0-3, 64 KiB +-1,
// several blocks, several MB) on runs, random, text and mixed data, through
// both the raw and the buffer-mode API, within the documented bounds.
#include <gtest/gtest.h>

#include "test_data.h"
#include "xpress.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Codec {
    Codec(int level) {
        EXPECT_TRUE(xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c));
        EXPECT_TRUE(xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &d));
    }
    ~Codec() {
        xpress::CloseCompressor(c);
        xpress::CloseDecompressor(d);
    }
    xpress::Compressor* c = nullptr;
    xpress::Decompressor* d = nullptr;
};

// Raw round trip; returns the compressed size.
std::size_t RoundTripRaw(Codec& codec, const Bytes& in) {
    Bytes comp(xpress::CompressRawBound(in.size()));
    std::size_t size = 0;
    EXPECT_TRUE(xpress::CompressRaw(codec.c, in.data(), in.size(), comp.data(), comp.size(), &size));
    Bytes out(in.size() + 1, 0xEE);  // one guard byte past the output
    EXPECT_EQ(xpress::DecompressRaw(codec.d, comp.data(), size, out.data(), in.size()), xpress::DecodeResult::kSuccess);
    EXPECT_EQ(out.back(), 0xEE) << "decoder wrote past its output";
    out.pop_back();
    EXPECT_TRUE(out == in);
    return size;
}

class RoundTripTest : public ::testing::TestWithParam<int> {};

TEST_P(RoundTripTest, SizesAroundTheBlockRule) {
    Codec codec(GetParam());
    const std::size_t sizes[] = {0, 1, 2, 3, 4, 300, 65535, 65536, 65537, 131072 + 4099};
    for (DataKind kind : {DataKind::kZeros, DataKind::kRandom, DataKind::kText, DataKind::kMixed}) {
        for (std::size_t size : sizes) {
            SCOPED_TRACE(std::string(DataKindName(kind)) + " " + std::to_string(size));
            const Bytes in = MakeData(kind, size, std::uint32_t(size));
            const std::size_t comp = RoundTripRaw(codec, in);
            EXPECT_LE(comp, xpress::CompressRawBound(size));
            EXPECT_GE(comp, size == 0 ? 0u : 260u) << "empty input, or a table and two words at least";
        }
    }
}

// Large inputs at a sample of levels (one per parser family) keep the run short.
class LargeRoundTripTest : public ::testing::TestWithParam<int> {};

TEST_P(LargeRoundTripTest, SeveralMegabytesInBufferMode) {
    const int level = GetParam();
    Codec codec(level);
    const Bytes in = MakeData(DataKind::kMixed, 4 * 1024 * 1024 + 12345, 7);
    Bytes comp(xpress::CompressBound(in.size()));
    std::size_t size = 0;
    ASSERT_TRUE(xpress::Compress(codec.c, in.data(), in.size(), comp.data(), comp.size(), &size));
    EXPECT_EQ(comp[6], level) << "byte 6 records the level";
    Bytes out(in.size());
    std::size_t out_size = 0;
    ASSERT_TRUE(xpress::Decompress(codec.d, comp.data(), size, out.data(), out.size(), &out_size));
    EXPECT_EQ(out_size, in.size());
    EXPECT_TRUE(out == in);
    // One byte too little room is refused, never a short success.
    EXPECT_FALSE(xpress::Decompress(codec.d, comp.data(), size, out.data(), out.size() - 1, &out_size));
}

TEST_P(RoundTripTest, RefusesOutputBuffersBelowTheStreamSize) {
    Codec codec(GetParam());
    const Bytes in = MakeData(DataKind::kText, 100000);
    Bytes comp(xpress::CompressBound(in.size()));
    std::size_t size = 0;
    ASSERT_TRUE(xpress::Compress(codec.c, in.data(), in.size(), comp.data(), comp.size(), &size));
    std::size_t small_size = 0;
    EXPECT_FALSE(xpress::Compress(codec.c, in.data(), in.size(), comp.data(), size - 1, &small_size));
    EXPECT_TRUE(xpress::Compress(codec.c, in.data(), in.size(), comp.data(), size, &small_size));
    EXPECT_EQ(small_size, size);
}

INSTANTIATE_TEST_SUITE_P(AllLevels, RoundTripTest,
                         ::testing::Range(xpress::kFastestLevel, xpress::kStrongestLevel + 1));
INSTANTIATE_TEST_SUITE_P(SampleLevels, LargeRoundTripTest,
                         ::testing::Values(xpress::kFastestLevel, xpress::kDefaultLevel, 4, 7,
                                           xpress::kStrongestLevel));

TEST(CompressorTest, RejectsOtherAlgorithmsAndLevels) {
    xpress::Compressor* c = nullptr;
    EXPECT_FALSE(xpress::CreateCompressor(3, xpress::kDefaultLevel, &c));
    EXPECT_FALSE(xpress::CreateCompressor(4, xpress::kFastestLevel - 1, &c));
    EXPECT_FALSE(xpress::CreateCompressor(4, xpress::kStrongestLevel + 1, &c));
    EXPECT_EQ(c, nullptr);
}

TEST(CompressorTest, BoundHoldsForIncompressibleData) {
    // Random bytes cost about 8 bits each plus the tables: close to the bound's slope.
    Codec codec(xpress::kStrongestLevel);
    const Bytes in = MakeData(DataKind::kRandom, 3 * 65536 + 5);
    const std::size_t size = RoundTripRaw(codec, in);
    EXPECT_LE(size, xpress::CompressRawBound(in.size()));
    EXPECT_GT(size, in.size());
}

}  // namespace
