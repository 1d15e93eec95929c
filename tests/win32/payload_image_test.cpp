// The container as the built setup program carries it: found in the file's
// read-only data section and checked byte by byte against the layout, the
// stream header fields and the files it was packed from.
#include "compression/xpress.h"
#include "tests/support/test_paths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::uint32_t Word(const std::string& bytes, std::size_t offset)
{
    std::uint32_t word;
    std::memcpy(&word, bytes.data() + offset, 4);
    return word;
}

std::uint64_t Quad(const std::string& bytes, std::size_t offset)
{
    std::uint64_t quad;
    std::memcpy(&quad, bytes.data() + offset, 8);
    return quad;
}

struct Section {
    std::size_t fileOffset = 0;
    std::size_t size = 0;
    std::uint32_t virtualAddress = 0;
};

// The section `name` of a PE file, read from its headers.
bool FindSection(const std::string& image, const char* name, Section* section)
{
    if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0)
        return false;
    const std::size_t pe = Word(image, 0x3C);
    if (pe + 24 > image.size() || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    const std::size_t sections = std::uint16_t(Word(image, pe + 6));
    const std::size_t optionalSize = std::uint16_t(Word(image, pe + 20));
    const std::size_t table = pe + 24 + optionalSize;
    for (std::size_t i = 0; i < sections && table + 40 * (i + 1) <= image.size(); ++i) {
        const std::size_t header = table + 40 * i;
        if (std::strncmp(image.data() + header, name, 8) == 0) {
            section->virtualAddress = Word(image, header + 12);
            section->size = Word(image, header + 16);  // SizeOfRawData
            section->fileOffset = Word(image, header + 20);
            return section->fileOffset + section->size <= image.size();
        }
    }
    return false;
}

std::string Decode(const std::string& stream, std::size_t size)
{
    xpress::Decompressor* decompressor = nullptr;
    if (!xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &decompressor))
        return "";
    std::string output(size, '\0');
    std::size_t written = 0;
    const bool ok = xpress::Decompress(decompressor, stream.data(), stream.size(), &output[0], size, &written);
    xpress::CloseDecompressor(decompressor);
    return ok && written == size ? output : "";
}

TEST(PayloadImage, TheSetupProgramCarriesTheContainerInReadOnlyData)
{
    const std::string image = ReadFileBytes(BuildPath("LumovaraSetup.exe"));
    Section rdata;
    ASSERT_TRUE(FindSection(image, ".rdata", &rdata));

    // The container starts at a 4-byte-aligned address with "TPIZ" and the count 2.
    std::size_t start = std::string::npos;
    for (std::size_t offset = 0; offset + 8 <= rdata.size; offset += 4) {
        if ((rdata.virtualAddress + offset) % 4 == 0 && image.compare(rdata.fileOffset + offset, 4, "TPIZ") == 0 &&
            Word(image, rdata.fileOffset + offset + 4) == 2) {
            start = rdata.fileOffset + offset;
            break;
        }
    }
    ASSERT_NE(std::string::npos, start) << "no container in .rdata";
    const std::size_t end = rdata.fileOffset + rdata.size;

    const std::string inputs[2] = {PAYLOAD_APP_WINDOWS, PAYLOAD_HELP_WINDOWS};
    std::size_t offset = start + 8;
    for (int index = 0; index < 2; ++index) {
        SCOPED_TRACE("entry " + std::to_string(index));
        const std::string file = ReadFileBytes(inputs[index]);
        ASSERT_FALSE(file.empty());
        ASSERT_LE(offset + 8, end);
        const std::uint32_t c = Word(image, offset);
        const std::uint32_t u = Word(image, offset + 4);
        const std::size_t words = c / 4 + (c % 4 != 0);
        std::printf("entry %d at container byte %zu: c %u, u %u, %zu words, %zu padding bytes\n", index,
                    offset - start, c, u, words, 4 * words - c);
        EXPECT_EQ(file.size(), u);
        ASSERT_LE(offset + 8 + 4 * words, end);

        // The stream's buffer-mode header agrees with the size words.
        const std::string stream = image.substr(offset + 8, c);
        ASSERT_GE(c, 28u);
        EXPECT_EQ(std::string("\x0A\x51\xE5\xC0", 4), stream.substr(0, 4));
        EXPECT_EQ(24, std::uint8_t(stream[4]) | std::uint8_t(stream[5]) << 8);
        EXPECT_EQ(4, stream[7]);
        EXPECT_EQ(u, Quad(stream, 8));
        EXPECT_EQ(u, Quad(stream, 16));
        EXPECT_EQ(c, 28 + Word(stream, 24));

        for (std::size_t pad = c; pad < 4 * words; ++pad)
            EXPECT_EQ('\0', image[offset + 8 + pad]) << "padding byte " << pad;
        EXPECT_TRUE(Decode(stream, u) == file) << "stream does not decode to " << inputs[index];
        offset += 8 + 4 * words;
    }
    std::printf("container: %zu bytes at .rdata offset %zu\n", offset - start, start - rdata.fileOffset);
}

}  // namespace
