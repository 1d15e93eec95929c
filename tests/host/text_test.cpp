// The bounded formatter, the path joins and the installed size: return codes,
// cut and refused texts, and never a byte written outside the buffer.
#include "app/bounded_text.h"
#include "install/installed_size.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace std::string_literals;

// An 8-character buffer between guard bytes.
struct Guarded {
    char bytes[24];
    char* buffer = bytes + 8;
    Guarded() { std::memset(bytes, 'x', sizeof bytes); }
    std::string Buffer() const { return std::string(buffer, 8); }
    bool GuardsIntact() const { return std::string(bytes, 8) + std::string(bytes + 16, 8) == std::string(16, 'x'); }
};

TEST(FormatBounded, ReturnCodesAndTruncation)
{
    const struct {
        std::size_t capacity;
        const char* text;
        std::int32_t result;
        std::string buffer;
    } cases[] = {
        {8, "abcd-12", kFormatOk, "abcd-12\0"s},                   // fits exactly
        {8, "abcdefgh", kFormatInsufficientBuffer, "abcdefg\0"s},  // one too long
        {1, "a", kFormatInsufficientBuffer, "\0xxxxxxx"s},
        {0, "abc", kFormatInvalidArg, "xxxxxxxx"},                 // untouched
        {0x80000000u, "abc", kFormatInvalidArg, "\0xxxxxxx"s},     // above the limit: emptied
    };
    for (const auto& c : cases) {
        Guarded guarded;
        EXPECT_EQ(c.result, FormatBounded(guarded.buffer, c.capacity, "%s", c.text)) << c.capacity;
        EXPECT_EQ(c.buffer, guarded.Buffer()) << c.capacity;
        EXPECT_TRUE(guarded.GuardsIntact()) << c.capacity;
    }
}

TEST(PathJoins, AddNoSeparatorAndFailCleanlyPast259Characters)
{
    char path[260];
    ASSERT_TRUE(CopyPath(path, "C:\\Program Files") && AppendPath(path, "\\VEK"));
    EXPECT_STREQ("C:\\Program Files\\VEK", path);
    EXPECT_TRUE(AppendPath(path, std::string(259 - std::strlen(path), 'f').c_str()));
    EXPECT_FALSE(AppendPath(path, "x"));
    EXPECT_EQ(259u, std::strlen(path));
    EXPECT_FALSE(CopyPath(path, std::string(260, 'q').c_str()));
    EXPECT_EQ('C', path[0]);
    Guarded unterminated;
    EXPECT_FALSE(AppendPath(unterminated.buffer, 8, "a"));
    EXPECT_EQ("xxxxxxxx", unterminated.Buffer());
}

TEST(InstalledSize, EachFileRoundsUpToWholeKiB)
{
    for (auto [bytes, kib] : {std::pair<std::uint64_t, std::uint32_t>{0, 0}, {1, 1}, {1024, 1}, {1025, 2},
                              {std::uint64_t(4) << 30, 4194304}})
        EXPECT_EQ(kib, SizeInKiB(bytes)) << bytes;
}

}  // namespace
