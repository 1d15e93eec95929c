// The bounded formatter at its limits, in both builds: natively over the C
// library's vsnprintf, and under Wine over the C runtime's _vsnprintf, which
// the setup program uses.
#include "core/bounded_text.h"

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

}  // namespace
