// Interop with wimlib's XPRESS codec on single blocks (at most 64 KiB, the
// most wimlib handles): its streams decode with our decoder, and ours with
// its decoder, for each kind of data and sizes up to a full block.
#include <gtest/gtest.h>
#include <wimlib.h>

#include "test_data.h"
#include "xpress.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kChunk = 65536;

class WimlibInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kChunk, 100, &wc_), 0);
        ASSERT_EQ(wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kChunk, &wd_), 0);
        ASSERT_TRUE(xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &d_));
    }
    void TearDown() override {
        wimlib_free_compressor(wc_);
        wimlib_free_decompressor(wd_);
        xpress::CloseDecompressor(d_);
    }
    wimlib_compressor* wc_ = nullptr;
    wimlib_decompressor* wd_ = nullptr;
    xpress::Decompressor* d_ = nullptr;
};

// wimlib declines inputs it cannot shrink, which rules out tiny ones.
const std::size_t kSizes[] = {1000, 4096, 65535, 65536};

TEST_F(WimlibInteropTest, WimlibStreamsDecodeWithOurDecoder) {
    int decoded = 0;
    for (DataKind kind : {DataKind::kZeros, DataKind::kText, DataKind::kMixed}) {
        for (std::size_t size : kSizes) {
            SCOPED_TRACE(std::string(DataKindName(kind)) + " " + std::to_string(size));
            const Bytes in = MakeData(kind, size, 3);
            Bytes comp(size), out(size);
            const std::size_t n = wimlib_compress(in.data(), size, comp.data(), comp.size(), wc_);
            if (n == 0) continue;  // declined: WIM would store the chunk raw
            ASSERT_EQ(xpress::DecompressRaw(d_, comp.data(), n, out.data(), size), xpress::DecodeResult::kSuccess);
            EXPECT_TRUE(out == in);
            decoded++;
        }
    }
    EXPECT_GE(decoded, 9) << "too few streams from wimlib to mean anything";
}

TEST_F(WimlibInteropTest, OurStreamsDecodeWithWimlib) {
    for (int level : {xpress::kFastestLevel, 4, xpress::kStrongestLevel}) {
        xpress::Compressor* c;
        ASSERT_TRUE(xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c));
        for (DataKind kind : {DataKind::kZeros, DataKind::kRandom, DataKind::kText, DataKind::kMixed}) {
            for (std::size_t size : kSizes) {
                SCOPED_TRACE(std::string(DataKindName(kind)) + " " + std::to_string(size) + " level " +
                             std::to_string(level));
                const Bytes in = MakeData(kind, size, 5);
                Bytes comp(xpress::CompressRawBound(size)), out(size);
                std::size_t n = 0;
                ASSERT_TRUE(xpress::CompressRaw(c, in.data(), size, comp.data(), comp.size(), &n));
                ASSERT_EQ(wimlib_decompress(comp.data(), n, out.data(), size, wd_), 0);
                EXPECT_TRUE(out == in);
            }
        }
        xpress::CloseCompressor(c);
    }
}

}  // namespace
