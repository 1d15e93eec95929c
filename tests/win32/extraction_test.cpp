// Extraction of an entry of several parts, which decode at the same time from
// where the part index says they begin.  The index is only a hint: whatever it
// says, the file written is the one the whole stream decodes to, or none.
#include "payload/container.h"
#include "payload/extract.h"
#include "payload/packer/container_builder.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Four parts: mixed pieces; 2 MiB of zeros and 2 MiB of random bytes that are
// never zero, so that the second half of this part decodes on its own too; then
// a last part, mixed again.
Bytes MakeEntry()
{
    std::mt19937 random{7};
    Bytes data;
    const auto mixed = [&](std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t piece = i / 1000 % 3;
            data.push_back(piece == 0 ? 0 : piece == 1 ? std::uint8_t(random()) : "lumovara 0x00401000\r\n"[i % 21]);
        }
    };
    mixed(xpress::kPartSpan);
    data.resize(data.size() + xpress::kSegmentSpan, 0);
    for (std::size_t i = 0; i < xpress::kSegmentSpan; ++i)
        data.push_back(std::uint8_t(1 + random() % 255));
    mixed(xpress::kSegmentSpan + 4099);
    return data;
}

TEST(Extraction, EveryPartIndexGivesTheWholeStreamsFile)
{
    const Bytes app = MakeEntry();
    std::vector<payload::PackedEntry> entries(2);
    std::string error;
    payload::PackSettings settings;
    settings.level = 1;
    ASSERT_TRUE(payload::PackFile(app, settings, &entries[0], &error) &&
                payload::PackFile(Bytes(100, 'h'), settings, &entries[1], &error)) << error;
    const Bytes bytes = payload::BuildContainer(entries);
    std::vector<std::uint32_t> container(bytes.size() / 4);
    std::memcpy(container.data(), bytes.data(), bytes.size());
    const std::vector<std::uint32_t> packed = payload::BuildPartIndex(entries);
    ASSERT_EQ(2u, packed.size());

    // Where the second half of the second part begins: a block that decodes
    // alone, so an index naming it fails only at the first part's end.
    payload::EntryView entry;
    ASSERT_TRUE(payload::LocateEntry(container.data(), container.size(), 0, &entry));
    const auto* raw = reinterpret_cast<const std::uint8_t*>(entry.body) + xpress::kBufferHeaderBytes;
    const std::size_t rawSize = entry.compressedSize - xpress::kBufferHeaderBytes;
    Bytes window(xpress::kSegmentSpan);
    xpress::Decompressor* decompressor = nullptr;
    std::size_t half = 0;
    ASSERT_TRUE(xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &decompressor));
    EXPECT_EQ(xpress::DecodeResult::kSuccess,
              xpress::DecompressRawThrough(decompressor, raw + packed[0], rawSize - packed[0], window.size(),
                                           window.data(), window.size(), nullptr, nullptr, &half));
    xpress::CloseDecompressor(decompressor);

    const std::uint32_t s1 = packed[0], s2 = packed[1], late = std::uint32_t(s1 + half);
    const struct {
        const char* name;
        std::vector<std::uint32_t> index;
    } rows[] = {
        {"as packed", packed},
        {"none", {}},
        {"too short", {s1}},
        {"the second part a segment late", {late, s2}},
        {"out of order", {s2, s1}},
        {"past the stream", {s1, std::uint32_t(rawSize + 8)}},
        {"at the stream's start", {0, s2}},
    };
    const std::string folder = ScratchFolder(), target = folder + "\\LumovaraRemote.exe";
    const std::string expected(app.begin(), app.end());
    for (const auto& row : rows) {
        ASSERT_TRUE(WriteFileBytes(target, "the old file"));
        EXPECT_EQ(DWORD(ERROR_SUCCESS), ExtractPayloadEntryFrom(container.data(), container.size(), row.index.data(),
                                                                row.index.size(), 0, target.c_str()))
            << row.name;
        EXPECT_TRUE(ReadFileBytes(target) == expected) << row.name;
        EXPECT_FALSE(FileExists(target + ".new")) << row.name;
    }

    // A table of the last part over-subscribed: no decoding gets past it, and
    // the old file stays.
    std::vector<std::uint32_t> damaged = container;
    std::memset(reinterpret_cast<std::uint8_t*>(damaged.data()) + (raw - reinterpret_cast<const std::uint8_t*>(
                                                                           container.data())) + s2,
                0xFF, 256);
    ASSERT_TRUE(WriteFileBytes(target, "the old file"));
    EXPECT_EQ(DWORD(ERROR_INVALID_DATA),
              ExtractPayloadEntryFrom(damaged.data(), damaged.size(), packed.data(), packed.size(), 0, target.c_str()));
    EXPECT_EQ("the old file", ReadFileBytes(target));
    EXPECT_FALSE(FileExists(target + ".new"));
    RemoveTree(target);
}

}  // namespace
