// The bounded formatter and the path joins: return codes, cut and refused
// texts, and never a byte written outside the buffer.
#include "app/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace std::string_literals;

TEST(FormatBounded, ReturnCodesAndTruncation)
{
    const struct {
        std::size_t capacity;
        const char* text;
        std::int32_t result;
        std::string buffer;  // its 8 bytes afterwards
    } cases[] = {{8, "abcd-12", kFormatOk, "abcd-12\0"s}, {8, "abcdefgh", kFormatInsufficientBuffer, "abcdefg\0"s},
                 {1, "a", kFormatInsufficientBuffer, "\0xxxxxxx"s}, {0, "abc", kFormatInvalidArg, "xxxxxxxx"},
                 {0x80000000u, "abc", kFormatInvalidArg, "\0xxxxxxx"s}};
    for (const auto& c : cases) {
        char guarded[24];  // the buffer between 8 guard bytes on each side
        std::memset(guarded, 'x', sizeof guarded);
        EXPECT_EQ(c.result, FormatBounded(guarded + 8, c.capacity, "%s", c.text)) << c.capacity;
        EXPECT_EQ("xxxxxxxx" + c.buffer + "xxxxxxxx", std::string(guarded, 24)) << c.capacity;
    }
}

TEST(PathJoins, AddNoSeparatorAndFailCleanlyPast259Characters)
{
    char path[260], unterminated[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    ASSERT_TRUE(CopyPath(path, "C:\\Program Files") && AppendPath(path, "\\VEK"));
    EXPECT_TRUE(AppendPath(path, std::string(239, 'f').c_str()));
    EXPECT_FALSE(AppendPath(path, "x") || CopyPath(path, std::string(260, 'q').c_str()) || AppendPath(unterminated, "a"));
    EXPECT_EQ("C:\\Program Files\\VEK" + std::string(239, 'f'), path);
    EXPECT_EQ("xxxxxxxx", std::string(unterminated, 8));
}

}  // namespace
