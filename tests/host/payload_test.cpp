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

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint32_t> Words(const Bytes& bytes)
{
    std::vector<std::uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), bytes.size());
    return words;
}

TEST(Container, LayoutAndAWalkThatStaysInside)
{
    // Entry 0 with 8 stream bytes, entry 1 with 5 and 3 bytes of padding.
    const Bytes expected = {'T', 'P', 'I', 'Z', 2, 0, 0, 0,
                            8, 0, 0, 0, 0x34, 0x12, 0, 0, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                            5, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0, 0, 0};
    ASSERT_EQ(expected, payload::BuildContainer({{Bytes(&expected[16], &expected[24]), 0x1234},
                                                 {Bytes(&expected[32], &expected[37]), 0x12345678}}));
    std::vector<std::uint32_t> words = Words(expected);
    payload::EntryView entry;
    ASSERT_TRUE(payload::LocateEntry(words.data(), words.size(), 1, &entry));
    EXPECT_TRUE(entry.body == &words[8] && entry.bodyWords == 2 && entry.compressedSize == 5 &&
                entry.uncompressedSize == 0x12345678);
    EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), 2, &entry));
    for (std::size_t length = 0; length <= words.size(); ++length) {  // every cut: whole or not found
        EXPECT_EQ(length >= 6, payload::LocateEntry(words.data(), length, 0, &entry)) << length;
        EXPECT_EQ(length >= 10, payload::LocateEntry(words.data(), length, 1, &entry)) << length;
    }
    for (auto [word, size] : {std::pair{2, 25u}, {2, 0xFFFFFFFFu}, {6, 9u}}) {  // size words reaching past the end
        std::vector<std::uint32_t> damaged = words;
        damaged[word] = size;
        EXPECT_FALSE(payload::LocateEntry(damaged.data(), damaged.size(), 1, &entry)) << word << ": " << size;
    }
}

// payload-pack as the build runs it (its containers decode to the files in every
// installation of the end-to-end tests): a bad input is a one-line error naming
// it, exit status 1, and no output file.
TEST(PayloadPack, RefusesBadInputs)
{
    const std::string folder = "/tmp/payload-pack-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(folder + "folder");
    std::ofstream(folder + "app") << "MZ";
    std::ofstream(folder + "empty").flush();
    for (const char* bad : {"missing", "empty", "folder"}) {
        std::string output;
        std::FILE* pipe = popen((PAYLOAD_PACK " " + folder + "app " + folder + bad + " -o " + folder + "c 2>&1").c_str(), "r");
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            output += char(c);
        EXPECT_EQ(1, WEXITSTATUS(pclose(pipe))) << output;
        EXPECT_NE(std::string::npos, output.find("payload-pack: " + folder + bad + ": ")) << output;
        EXPECT_FALSE(std::filesystem::exists(folder + "c")) << bad;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
