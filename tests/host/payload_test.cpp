// The payload container: its bytes, the walk that finds an entry without ever
// reading past the container, and payload-pack as the build runs it.
#include "payload/container.h"
#include "payload/packer/container_builder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Entry 0 with 8 stream bytes (no padding), entry 1 with 5 (3 bytes of padding).
TEST(Container, LayoutAndAWalkThatStaysInside)
{
    const Bytes expected = {'T', 'P', 'I', 'Z', 2, 0, 0, 0,
                            8, 0, 0, 0, 0x34, 0x12, 0, 0, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                            5, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0, 0, 0};
    payload::PackedEntry entries[2] = {{Bytes(expected.begin() + 16, expected.begin() + 24), 0x1234},
                                       {Bytes(expected.begin() + 32, expected.begin() + 37), 0x12345678}};
    ASSERT_EQ(expected, payload::BuildContainer({entries[0], entries[1]}));

    std::vector<std::uint32_t> words(expected.size() / 4);
    std::memcpy(words.data(), expected.data(), expected.size());
    payload::EntryView entry;
    ASSERT_TRUE(payload::LocateEntry(words.data(), words.size(), 1, &entry));
    EXPECT_TRUE(entry.body == &words[8] && entry.bodyWords == 2 && entry.compressedSize == 5 &&
                entry.uncompressedSize == 0x12345678);
    for (std::uint32_t index : {2u, 0xFFFFFFFFu})
        EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), index, &entry)) << index;
    // Every cut leaves an entry whole or not found.
    for (std::size_t length = 0; length <= words.size(); ++length) {
        for (std::uint32_t index : {0u, 1u}) {
            const bool found = payload::LocateEntry(words.data(), length, index, &entry);
            EXPECT_EQ(length >= (index == 0 ? 6u : 10u), found) << length << " words, entry " << index;
        }
    }
    // Size words that reach past the end.
    for (std::uint32_t size : {25u, 0xFFFFFFFFu}) {
        words[2] = size;
        EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), 0, &entry) ||
                     payload::LocateEntry(words.data(), words.size(), 1, &entry)) << size;
    }
    words[2] = 8;
    words[6] = 9;
    EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), 1, &entry));
}

struct PackRun {
    int status = -1;
    std::string output;  // standard output and error together
};

PackRun Pack(const std::string& arguments)
{
    PackRun run;
    std::FILE* pipe = popen((PAYLOAD_PACK " " + arguments + " 2>&1").c_str(), "r");
    for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;)
        run.output += char(c);
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PayloadPack, PacksFilesThatDecodeBackAndRefusesBadInputs)
{
    const fs::path folder = fs::temp_directory_path() / ("payload-pack-test-" + std::to_string(getpid()));
    fs::create_directories(folder / "folder");
    auto path = [&](const char* name) { return (folder / name).string(); };
    std::ofstream(path("app")) << std::string(20000, 'a') + "Lumovara Remote" + std::string(3001, 'z');
    std::ofstream(path("help")) << "<html>help</html>";
    std::ofstream(path("empty")).flush();
    std::ofstream(path("huge")).flush();
    fs::resize_file(path("huge"), std::uintmax_t(1) << 32);  // sparse: one byte too many for a size word

    const std::string inputs = path("app") + " " + path("help");
    ASSERT_EQ(0, Pack(inputs + " -o " + path("c1") + " --binary").status);
    ASSERT_EQ(0, Pack(inputs + " -o " + path("c2") + " --binary").status);
    ASSERT_EQ(0, Pack(inputs + " -o " + path("fast") + " --binary --level 1").status);
    const Bytes container = ReadAll(path("c1"));
    EXPECT_EQ(container, ReadAll(path("c2"))) << "the same inputs must give the same bytes";
    EXPECT_NE(container, ReadAll(path("fast"))) << "--level is not passed on";
    std::vector<std::uint32_t> words(container.size() / 4);
    std::memcpy(words.data(), container.data(), container.size());
    for (std::uint32_t index : {0u, 1u}) {
        payload::EntryView entry;
        ASSERT_TRUE(payload::LocateEntry(words.data(), words.size(), index, &entry));
        Bytes file(entry.uncompressedSize);
        ASSERT_TRUE(payload::DecodeEntry(entry, entry.body, file.data()));
        EXPECT_EQ(ReadAll(path(index == 0 ? "app" : "help")), file);
    }

    for (const char* bad : {"missing", "empty", "folder", "huge"}) {
        for (bool asHelp : {false, true}) {
            const PackRun run = Pack((asHelp ? path("app") + " " + path(bad) : path(bad) + " " + path("help")) + " -o " +
                                 path("out"));
            EXPECT_EQ(1, run.status) << run.output;
            EXPECT_NE(std::string::npos, run.output.find("payload-pack: " + path(bad) + ": ")) << run.output;
            EXPECT_EQ(asHelp ? 2 : 1, std::count(run.output.begin(), run.output.end(), '\n')) << run.output;
            EXPECT_FALSE(fs::exists(path("out"))) << bad;
        }
    }
    EXPECT_EQ(1, Pack(inputs + " -o " + path("no-such-folder/out")).status);
    for (const std::string& usage : {std::string(""), path("app") + " -o " + path("out"), inputs,
                                     inputs + " -o " + path("out") + " --level 10", inputs + " -o out --fast"}) {
        const PackRun run = Pack(usage);
        EXPECT_EQ(2, run.status) << usage;
        EXPECT_NE(std::string::npos, run.output.find("usage: payload-pack")) << run.output;
    }
    EXPECT_FALSE(fs::exists(path("out")));
    fs::remove_all(folder);
}

}  // namespace
