// The Windows-made streams in the shared test data: every .lzhuff decodes to
// its .decomp byte for byte; our strongest level beats Windows' maximum
// effort on the same inputs; and every level round-trips every input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "xpress.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kVectors = fs::path(XPRESS_SHARED_DIR) / "testdata" / "xpress-huffman";

Bytes ReadAll(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<fs::path> Streams(const char* folder) {
    std::vector<fs::path> paths;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kVectors / folder, ec))
        if (entry.path().extension() == ".lzhuff") paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

fs::path Original(const fs::path& stream) { return kVectors / "decompressed" / (stream.stem().string() + ".decomp"); }

class VectorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kVectors)) GTEST_SKIP() << "no shared test vectors at " << kVectors;
        ASSERT_TRUE(xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &d_));
    }
    void TearDown() override { xpress::CloseDecompressor(d_); }
    xpress::Decompressor* d_ = nullptr;
};

TEST_F(VectorsTest, EveryWindowsStreamDecodesExactly) {
    std::size_t count = 0;
    for (const char* folder : {"compressed-huffman", "compressed-more-huffman"}) {
        for (const fs::path& stream : Streams(folder)) {
            SCOPED_TRACE(stream.string());
            const Bytes in = ReadAll(stream), expected = ReadAll(Original(stream));
            Bytes out(expected.size());
            ASSERT_EQ(xpress::DecompressRaw(d_, in.data(), in.size(), out.data(), out.size()),
                      xpress::DecodeResult::kSuccess);
            EXPECT_TRUE(out == expected);
            // Any cut into the stream's needed bytes is detected.
            if (in.size() > 2) {
                EXPECT_NE(xpress::DecompressRaw(d_, in.data(), in.size() / 2, out.data(), out.size()),
                          xpress::DecodeResult::kSuccess);
            }
            count++;
        }
    }
    EXPECT_EQ(count, 98u);
}

TEST_F(VectorsTest, EveryLevelRoundTripsAndTheStrongestBeatsWindowsMaxEffort) {
    std::size_t windows_total = 0, ours_total = 0;
    for (const fs::path& stream : Streams("compressed-more-huffman")) windows_total += fs::file_size(stream);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kVectors / "decompressed", ec)) {
        const Bytes in = ReadAll(entry.path());
        for (int level = xpress::kFastestLevel; level <= xpress::kStrongestLevel; level++) {
            SCOPED_TRACE(entry.path().string() + " level " + std::to_string(level));
            xpress::Compressor* c;
            ASSERT_TRUE(xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c));
            Bytes comp(xpress::CompressRawBound(in.size())), out(in.size());
            std::size_t size = 0;
            ASSERT_TRUE(xpress::CompressRaw(c, in.data(), in.size(), comp.data(), comp.size(), &size));
            xpress::CloseCompressor(c);
            ASSERT_EQ(xpress::DecompressRaw(d_, comp.data(), size, out.data(), out.size()),
                      xpress::DecodeResult::kSuccess);
            EXPECT_TRUE(out == in);
            const fs::path more = kVectors / "compressed-more-huffman" / (entry.path().stem().string() + ".lzhuff");
            if (level == xpress::kStrongestLevel && fs::exists(more)) ours_total += size;
        }
    }
    // Ratio goal of the codec: at most 97 % of Windows' maximum effort.
    EXPECT_LE(ours_total * 100, windows_total * 97) << "ours " << ours_total << ", Windows " << windows_total;
}

}  // namespace
