// The licence reader hands the rich edit control the resource's bytes in the
// chunk sizes it asks for, ends with a chunk of 0 and never reads outside them.
#include "app/licence_viewer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Reads `reader` dry with requests of `wanted` bytes; returns what arrived and
// the chunk sizes given, up to and including the first 0.
std::string ReadAll(LicenceReader& reader, LONG wanted, std::vector<LONG>* sizes)
{
    std::string text;
    for (int call = 0; call < 100; ++call) {
        std::string buffer(size_t(wanted > 0 ? wanted : 1), '#');
        LONG given = -1;
        EXPECT_EQ(0u, ReadLicenceChunk(reinterpret_cast<DWORD_PTR>(&reader),
                                       reinterpret_cast<LPBYTE>(buffer.data()), wanted, &given));
        sizes->push_back(given);
        if (given <= 0)
            break;
        text.append(buffer, 0, size_t(given));
    }
    return text;
}

TEST(LicenceReader, DeliversEveryByteInRequestedChunksThenZero)
{
    const std::string licence = "{\\rtf1 licence text}";  // 20 bytes
    LicenceReader reader = {reinterpret_cast<const BYTE*>(licence.data()), LONG(licence.size()), 0};
    std::vector<LONG> sizes;
    EXPECT_EQ(licence, ReadAll(reader, 8, &sizes));
    EXPECT_EQ((std::vector<LONG>{8, 8, 4, 0}), sizes);
    EXPECT_EQ(LONG(licence.size()), reader.delivered);

    // Asked again after the end: still nothing.
    sizes.clear();
    EXPECT_EQ("", ReadAll(reader, 8, &sizes));
    EXPECT_EQ((std::vector<LONG>{0}), sizes);
}

TEST(LicenceReader, ALargeRequestTakesTheRestAtOnce)
{
    const std::string licence(5000, 'x');
    LicenceReader reader = {reinterpret_cast<const BYTE*>(licence.data()), LONG(licence.size()), 0};
    std::vector<LONG> sizes;
    EXPECT_EQ(licence, ReadAll(reader, 4096, &sizes));
    EXPECT_EQ((std::vector<LONG>{4096, 904, 0}), sizes);
}

TEST(LicenceReader, AnEmptyResourceEndsAtOnce)
{
    LicenceReader reader = {reinterpret_cast<const BYTE*>(""), 0, 0};
    std::vector<LONG> sizes;
    EXPECT_EQ("", ReadAll(reader, 64, &sizes));
    EXPECT_EQ((std::vector<LONG>{0}), sizes);
}

// A request for a negative count must not move the position back before the
// start of the resource.
TEST(LicenceReader, ANegativeRequestGivesNothing)
{
    const std::string licence = "abc";
    LicenceReader reader = {reinterpret_cast<const BYTE*>(licence.data()), 3, 0};
    std::vector<LONG> sizes;
    EXPECT_EQ("", ReadAll(reader, -5, &sizes));
    EXPECT_EQ((std::vector<LONG>{0}), sizes);
    EXPECT_EQ(0, reader.delivered);
    sizes.clear();
    EXPECT_EQ("abc", ReadAll(reader, 2, &sizes));
}

}  // namespace
