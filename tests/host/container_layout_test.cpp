// The container's byte layout and the walk that finds an entry in it, with
// small made-up streams whose bytes are easy to follow by hand.
#include "payload/container.h"
#include "payload/packer/container_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

payload::PackedEntry Entry(const Bytes& stream, std::uint32_t uncompressedSize)
{
    payload::PackedEntry entry;
    entry.stream = stream;
    entry.uncompressedSize = uncompressedSize;
    return entry;
}

std::vector<std::uint32_t> Words(const Bytes& bytes)
{
    std::vector<std::uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

// Entry 0 with 8 stream bytes (no padding), entry 1 with 5 (3 bytes of padding).
const Bytes kStream0 = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
const Bytes kStream1 = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4};

TEST(ContainerLayout, MatchesTheHandComputedBytes)
{
    const Bytes expected = {
        'T', 'P', 'I', 'Z',  2, 0, 0, 0,
        8, 0, 0, 0,  0x34, 0x12, 0, 0,                            // entry 0: c = 8, u = 0x1234
        0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,           // 2 words, no padding
        5, 0, 0, 0,  0x78, 0x56, 0x34, 0x12,                      // entry 1: c = 5, u = 0x12345678
        0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0, 0, 0,                    // 2 words, 3 zero bytes
    };
    EXPECT_EQ(expected, payload::BuildContainer({Entry(kStream0, 0x1234), Entry(kStream1, 0x12345678)}));
}

TEST(ContainerLayout, PadsEveryRemainderWithZeros)
{
    for (std::size_t size = 1; size <= 8; ++size) {
        const Bytes stream(size, 0xFF);
        const Bytes container = payload::BuildContainer({Entry(stream, 1), Entry(stream, 1)});
        const std::size_t body = (size + 3) / 4 * 4;
        ASSERT_EQ(8 + 2 * (8 + body), container.size()) << size;
        for (std::size_t entryStart : {std::size_t(8), 16 + body}) {
            for (std::size_t i = 0; i < body; ++i)
                EXPECT_EQ(i < size ? 0xFF : 0, container[entryStart + 8 + i]) << size << " " << i;
        }
    }
}

TEST(ContainerWalk, FindsEntryOneBySkippingEntryZerosWords)
{
    const std::vector<std::uint32_t> words =
        Words(payload::BuildContainer({Entry(kStream0, 0x1234), Entry(kStream1, 0x12345678)}));
    payload::EntryView entry;
    ASSERT_TRUE(payload::LocateEntry(words.data(), words.size(), 0, &entry));
    EXPECT_EQ(words.data() + 4, entry.body);
    EXPECT_EQ(2u, entry.bodyWords);
    EXPECT_EQ(8u, entry.compressedSize);
    EXPECT_EQ(0x1234u, entry.uncompressedSize);

    ASSERT_TRUE(payload::LocateEntry(words.data(), words.size(), 1, &entry));
    EXPECT_EQ(words.data() + 8, entry.body);  // header at word 6 = 2 + 2 + 2
    EXPECT_EQ(2u, entry.bodyWords);
    EXPECT_EQ(5u, entry.compressedSize);
    EXPECT_EQ(0x12345678u, entry.uncompressedSize);
    EXPECT_EQ(0, std::memcmp(entry.body, kStream1.data(), kStream1.size()));
}

TEST(ContainerWalk, RejectsIndicesFromTwoUp)
{
    const std::vector<std::uint32_t> words =
        Words(payload::BuildContainer({Entry(kStream0, 1), Entry(kStream1, 1)}));
    payload::EntryView entry;
    for (std::uint32_t index : {2u, 3u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), index, &entry)) << index;
}

// Every cut of the container leaves an entry either whole or not found.
TEST(ContainerWalk, NeverReachesPastATruncatedContainer)
{
    const std::vector<std::uint32_t> words =
        Words(payload::BuildContainer({Entry(kStream0, 1), Entry(kStream1, 1)}));
    for (std::size_t length = 0; length <= words.size(); ++length) {
        for (std::uint32_t index : {0u, 1u}) {
            payload::EntryView entry;
            const bool found = payload::LocateEntry(words.data(), length, index, &entry);
            const std::size_t end = index == 0 ? 6 : 10;
            EXPECT_EQ(length >= end, found) << "length " << length << " index " << index;
            if (found) {
                EXPECT_LE(entry.body + entry.bodyWords, words.data() + length);
            }
        }
    }
}

TEST(ContainerWalk, RejectsSizeWordsThatPointPastTheEnd)
{
    std::vector<std::uint32_t> words =
        Words(payload::BuildContainer({Entry(kStream0, 1), Entry(kStream1, 1)}));
    payload::EntryView entry;
    // Entry 0's body starts at word 4 of 10: 24 bytes fill the rest, leaving no room for entry 1.
    words[2] = 24;
    EXPECT_TRUE(payload::LocateEntry(words.data(), words.size(), 0, &entry));
    EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), 1, &entry));
    for (std::uint32_t size : {25u, 1000u, 0xFFFFFFFDu, 0xFFFFFFFFu}) {
        words[2] = size;
        EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), 0, &entry)) << size;
        EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), 1, &entry)) << size;
    }
    words[2] = 8;
    words[6] = 9;  // entry 1's c: 3 words from word 8, one past the end
    EXPECT_TRUE(payload::LocateEntry(words.data(), words.size(), 0, &entry));
    EXPECT_FALSE(payload::LocateEntry(words.data(), words.size(), 1, &entry));
}

TEST(ContainerAssembly, PutsTheWordsIntoAlignedReadOnlyData)
{
    Bytes container = {'T', 'P', 'I', 'Z', 2, 0, 0, 0};
    for (int i = 0; i < 8; ++i)
        container.insert(container.end(), {std::uint8_t(i), 0x10, 0x20, 0xFF});
    const std::string expected =
        "# The payload container, generated by payload-pack.\n"
        "\t.section .rdata,\"dr\"\n"
        "\t.balign 4\n"
        "\t.globl Box\n"
        "Box:\n"
        "\t.long 0x5a495054,0x00000002,0xff201000,0xff201001,0xff201002,0xff201003,0xff201004,0xff201005\n"
        "\t.long 0xff201006,0xff201007\n"
        "\t.balign 8\n"
        "\t.globl BoxWords\n"
        "BoxWords:\n"
        "\t.quad 10\n";
    EXPECT_EQ(expected, payload::ContainerAssembly(container, "Box"));
}

}  // namespace
