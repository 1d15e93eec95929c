// payload-pack as the build runs it: the container it writes for real files,
// its determinism, and its errors.
#include "compression/xpress.h"
#include "payload/container.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::uint32_t WordAt(const Bytes& bytes, std::size_t offset)
{
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
           std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

// Text with some repetition, so that the codec has matches and literals to code.
Bytes SampleFile(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    static const char* const kWords[] = {"remote ", "desktop ", "VEK ", "Lumovara ", "\r\n", "0x1F ", "help "};
    Bytes bytes;
    while (bytes.size() < size) {
        if (random() % 4 == 0) {
            bytes.push_back(std::uint8_t(random()));
        } else {
            const char* word = kWords[random() % 7];
            bytes.insert(bytes.end(), word, word + std::strlen(word));
        }
    }
    bytes.resize(size);
    return bytes;
}

Bytes Compress(const Bytes& data)
{
    xpress::Compressor* compressor = nullptr;
    EXPECT_TRUE(xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, xpress::kStrongestLevel,
                                         &compressor));
    Bytes stream(xpress::CompressBound(data.size()));
    std::size_t size = 0;
    EXPECT_TRUE(xpress::Compress(compressor, data.data(), data.size(), stream.data(), stream.size(), &size));
    xpress::CloseCompressor(compressor);
    stream.resize(size);
    return stream;
}

Bytes Decompress(const Bytes& stream, std::size_t size)
{
    xpress::Decompressor* decompressor = nullptr;
    EXPECT_TRUE(xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &decompressor));
    Bytes output(size);
    std::size_t written = 0;
    EXPECT_TRUE(xpress::Decompress(decompressor, stream.data(), stream.size(), output.data(), size, &written));
    xpress::CloseDecompressor(decompressor);
    EXPECT_EQ(size, written);
    return output;
}

struct PackRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

PackRun Pack(const std::string& arguments)
{
    PackRun run;
    std::FILE* pipe = popen((std::string(PAYLOAD_PACK) + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, read);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::size_t Lines(const std::string& text)
{
    std::size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

class PayloadPack : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("payload-pack-test-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

// Sizes of sample files whose streams end on a word boundary and off it.
void FindAlignedAndUnaligned(std::size_t* aligned, std::size_t* unaligned)
{
    *aligned = *unaligned = 0;
    for (std::size_t size = 3000; size < 3200 && (*aligned == 0 || *unaligned == 0); ++size) {
        const std::size_t c = Compress(SampleFile(size, unsigned(size))).size();
        (c % 4 == 0 ? *aligned : *unaligned) = size;
    }
}

TEST_F(PayloadPack, LaysOutStreamsWithAndWithoutPadding)
{
    std::size_t aligned, unaligned;
    FindAlignedAndUnaligned(&aligned, &unaligned);
    ASSERT_NE(0u, aligned);
    ASSERT_NE(0u, unaligned);

    // Both orders: the unaligned entry first moves entry 1's header past padding.
    for (bool unalignedFirst : {false, true}) {
        const std::size_t sizes[2] = {unalignedFirst ? unaligned : aligned, unalignedFirst ? aligned : unaligned};
        const Bytes files[2] = {SampleFile(sizes[0], unsigned(sizes[0])), SampleFile(sizes[1], unsigned(sizes[1]))};
        WriteBytes(Path("app.exe"), files[0]);
        WriteBytes(Path("help.chm"), files[1]);
        const PackRun run = Pack(Path("app.exe") + " " + Path("help.chm") + " -o " + Path("c.bin") + " --binary");
        ASSERT_EQ(0, run.status) << run.output;
        const Bytes container = ReadBytes(Path("c.bin"));

        // The container built by hand from the codec's own streams.
        Bytes expected = {'T', 'P', 'I', 'Z', 2, 0, 0, 0};
        for (const Bytes& file : files) {
            const Bytes stream = Compress(file);
            for (std::uint32_t word : {std::uint32_t(stream.size()), std::uint32_t(file.size())})
                for (int shift = 0; shift < 32; shift += 8)
                    expected.push_back(std::uint8_t(word >> shift));
            expected.insert(expected.end(), stream.begin(), stream.end());
            while (expected.size() % 4 != 0)
                expected.push_back(0);
        }
        ASSERT_EQ(expected, container);

        // And read back: entry 1 behind entry 0's words, both decoding to the files.
        std::vector<std::uint32_t> words(container.size() / 4);
        std::memcpy(words.data(), container.data(), container.size());
        std::size_t offset = 8;
        for (std::uint32_t index : {0u, 1u}) {
            payload::EntryView entry;
            ASSERT_TRUE(payload::LocateEntry(words.data(), words.size(), index, &entry));
            EXPECT_EQ(offset + 8, std::size_t(reinterpret_cast<const std::uint8_t*>(entry.body) -
                                              reinterpret_cast<const std::uint8_t*>(words.data())));
            EXPECT_EQ(WordAt(container, offset), entry.compressedSize);
            const Bytes stream(container.begin() + long(offset + 8),
                               container.begin() + long(offset + 8 + entry.compressedSize));
            EXPECT_EQ(files[index], Decompress(stream, entry.uncompressedSize));
            offset += 8 + 4 * entry.bodyWords;
        }
        EXPECT_EQ(container.size(), offset);
    }
}

TEST_F(PayloadPack, StreamsCarryTheBufferModeHeader)
{
    const Bytes file = SampleFile(5000, 7);
    WriteBytes(Path("a"), file);
    ASSERT_EQ(0, Pack(Path("a") + " " + Path("a") + " -o " + Path("c.bin") + " --binary").status);
    const Bytes container = ReadBytes(Path("c.bin"));
    const std::uint32_t c = WordAt(container, 8);
    const Bytes signature(container.begin() + 16, container.begin() + 20);
    EXPECT_EQ((Bytes{0x0A, 0x51, 0xE5, 0xC0}), signature);
    EXPECT_EQ(24u, WordAt(container, 20) & 0xFFFF);
    EXPECT_EQ(4, container[16 + 7]);                    // algorithm
    EXPECT_EQ(file.size(), WordAt(container, 16 + 8));  // 64-bit sizes, high words 0
    EXPECT_EQ(0u, WordAt(container, 16 + 12));
    EXPECT_EQ(file.size(), WordAt(container, 16 + 16));
    EXPECT_EQ(0u, WordAt(container, 16 + 20));
    EXPECT_EQ(c - 28, WordAt(container, 16 + 24));      // one block fills the rest
}

TEST_F(PayloadPack, SameInputsGiveTheSameBytes)
{
    WriteBytes(Path("app.exe"), SampleFile(20000, 1));
    WriteBytes(Path("help.chm"), SampleFile(3000, 2));
    const std::string inputs = Path("app.exe") + " " + Path("help.chm");
    for (const char* form : {" --binary", ""}) {
        ASSERT_EQ(0, Pack(inputs + " -o " + Path("first") + form).status);
        ASSERT_EQ(0, Pack(inputs + " -o " + Path("second") + form).status);
        EXPECT_EQ(ReadBytes(Path("first")), ReadBytes(Path("second"))) << form;
    }
    // The level changes the bytes, so it is really passed on.
    ASSERT_EQ(0, Pack(inputs + " -o " + Path("fast") + " --binary --level 1").status);
    ASSERT_EQ(0, Pack(inputs + " -o " + Path("strong") + " --binary").status);
    EXPECT_NE(ReadBytes(Path("fast")), ReadBytes(Path("strong")));
}

TEST_F(PayloadPack, ReportsSizesAndRatioPerEntry)
{
    WriteBytes(Path("app.exe"), SampleFile(10000, 3));
    WriteBytes(Path("help.chm"), SampleFile(2000, 4));
    const PackRun run = Pack(Path("app.exe") + " " + Path("help.chm") + " -o " + Path("c.s"));
    ASSERT_EQ(0, run.status) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("entry 0  " + Path("app.exe") + "  10000 -> ")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("entry 1  " + Path("help.chm") + "  2000 -> ")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("%)")) << run.output;
}

TEST_F(PayloadPack, RefusesBadInputsNamingTheFile)
{
    WriteBytes(Path("good"), SampleFile(100, 5));
    WriteBytes(Path("empty"), {});
    fs::create_directory(Path("folder"));
    {
        // 4 GiB exactly, sparse: one byte too many for a 32-bit size field.
        std::ofstream huge(Path("huge"), std::ios::binary);
    }
    fs::resize_file(Path("huge"), std::uintmax_t(1) << 32);

    for (const char* bad : {"missing", "empty", "folder", "huge"}) {
        for (bool asHelp : {false, true}) {
            const std::string inputs = asHelp ? Path("good") + " " + Path(bad) : Path(bad) + " " + Path("good");
            const PackRun run = Pack(inputs + " -o " + Path("out.s"));
            EXPECT_EQ(1, run.status) << bad;
            EXPECT_EQ(asHelp ? 2u : 1u, Lines(run.output)) << run.output;  // entry 0's line, then the error
            EXPECT_NE(std::string::npos, run.output.find("payload-pack: " + Path(bad) + ": ")) << run.output;
            EXPECT_FALSE(fs::exists(Path("out.s"))) << bad;
        }
    }
}

TEST_F(PayloadPack, ReportsAnOutputItCannotWrite)
{
    WriteBytes(Path("good"), SampleFile(100, 6));
    const std::string output = Path("no-such-folder/out.s");
    const PackRun run = Pack(Path("good") + " " + Path("good") + " -o " + output);
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.output.find("payload-pack: " + output)) << run.output;
}

TEST_F(PayloadPack, HelpPrintsTheUsageAndSucceeds)
{
    const PackRun run = Pack("--help");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(0u, run.output.find("usage: payload-pack")) << run.output;
}

TEST_F(PayloadPack, UsageErrorsExitWithTwo)
{
    WriteBytes(Path("good"), SampleFile(100, 6));
    const std::string good = Path("good");
    const std::string out = " -o " + Path("out.s");
    for (const std::string& arguments : {std::string(""), good + out, good + " " + good, good + " " + good + " -o",
                                         good + " " + good + " " + good + out, good + " " + good + out + " --level 0",
                                         good + " " + good + out + " --level 10", good + " " + good + out + " --level x",
                                         good + " " + good + out + " --fast", good + " " + good + out + " --symbol 9x"}) {
        const PackRun run = Pack(arguments);
        EXPECT_EQ(2, run.status) << arguments;
        EXPECT_NE(std::string::npos, run.output.find("usage: payload-pack")) << arguments;
        EXPECT_FALSE(fs::exists(Path("out.s"))) << arguments;
    }
}

}  // namespace
