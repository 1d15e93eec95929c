// The bounded formatter and path joins: return codes, truncation, and that
// nothing is ever written past the buffer.
#include "app/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A buffer with guard bytes on both sides, to catch writes out of bounds.
template <std::size_t N>
struct Guarded {
    char before[16];
    char data[N];
    char after[16];
    Guarded()
    {
        std::memset(before, 'G', sizeof before);
        std::memset(data, 'x', sizeof data);
        std::memset(after, 'G', sizeof after);
    }
    bool Intact() const
    {
        return std::string(before, 16) == std::string(16, 'G') &&
               std::string(after, 16) == std::string(16, 'G');
    }
};

// Return code and the whole buffer afterwards, for each capacity at and around the limits.
TEST(FormatBounded, ReturnCodesAndTruncation)
{
    using namespace std::string_literals;
    const struct {
        std::size_t capacity;
        const char* text;
        std::int32_t expected;
        std::string buffer;
    } cases[] = {
        {8, "abcd-12", kFormatOk, "abcd-12\0"s},                       // fits exactly
        {8, "abcdefgh", kFormatInsufficientBuffer, "abcdefg\0"s},      // one too long
        {1, "a", kFormatInsufficientBuffer, "\0xxxxxxx"s},              // only the terminator
        {1, "", kFormatOk, "\0xxxxxxx"s},
        {0, "abc", kFormatInvalidArg, "xxxxxxxx"},                      // untouched
        {0x80000000u, "abc", kFormatInvalidArg, "\0xxxxxxx"s},          // above the limit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "capacity " << c.capacity << ", \"" << c.text << '"');
        Guarded<8> buffer;
        EXPECT_EQ(c.expected, FormatBounded(buffer.data, c.capacity, "%s", c.text));
        EXPECT_EQ(c.buffer, std::string(buffer.data, 8));
        EXPECT_TRUE(buffer.Intact());
    }
}

TEST(FormatBounded, ProducesTheProgramsMessages)
{
    char fullName[64];
    char question[256];
    FormatBounded(fullName, sizeof fullName, "%s %s", "VEK Lumovara Remote", "2.0 release candidate 1");
    EXPECT_EQ(kFormatOk, FormatBounded(question, sizeof question,
                                       "%s is already installed. Do you want to uninstall %s now?",
                                       fullName, fullName));
    EXPECT_STREQ("VEK Lumovara Remote 2.0 release candidate 1 is already installed. Do you want "
                 "to uninstall VEK Lumovara Remote 2.0 release candidate 1 now?",
                 question);

    char script[64];
    FormatBounded(script, sizeof script, "%slvremote_uninstall_%lu.bat", "C:\\Temp\\", 4242ul);
    EXPECT_STREQ("C:\\Temp\\lvremote_uninstall_4242.bat", script);
}

TEST(PathJoins, CopyFitsUpTo259CharactersAndRefusesMore)
{
    Guarded<260> buffer;
    std::string longest(259, 'p');
    EXPECT_TRUE(CopyPath(buffer.data, 260, longest.c_str()));
    EXPECT_EQ(longest, buffer.data);

    std::string before = buffer.data;
    EXPECT_FALSE(CopyPath(buffer.data, 260, std::string(260, 'q').c_str()));
    EXPECT_EQ(before, buffer.data);  // unchanged on failure
    EXPECT_TRUE(buffer.Intact());
}

TEST(PathJoins, AppendAddsNoSeparatorAndStopsAt259Characters)
{
    Guarded<260> buffer;
    ASSERT_TRUE(CopyPath(buffer.data, 260, "C:\\Program Files"));
    ASSERT_TRUE(AppendPath(buffer.data, 260, "\\VEK\\LumovaraRemote"));
    EXPECT_STREQ("C:\\Program Files\\VEK\\LumovaraRemote", buffer.data);

    std::size_t used = std::strlen(buffer.data);
    std::string fill(259 - used, 'f');
    EXPECT_TRUE(AppendPath(buffer.data, 260, fill.c_str()));  // exactly 259
    EXPECT_EQ(259u, std::strlen(buffer.data));

    std::string before = buffer.data;
    EXPECT_FALSE(AppendPath(buffer.data, 260, "x"));  // would be 260
    EXPECT_EQ(before, buffer.data);
    EXPECT_TRUE(buffer.Intact());
}

TEST(PathJoins, AppendRefusesADestinationWithoutTerminator)
{
    Guarded<8> buffer;  // all 'x', no NUL anywhere
    EXPECT_FALSE(AppendPath(buffer.data, 8, "a"));
    EXPECT_TRUE(buffer.Intact());
}

TEST(PathJoins, ArrayOverloadsUseTheArraySize)
{
    char path[12];
    EXPECT_TRUE(CopyPath(path, "C:\\Temp"));
    EXPECT_TRUE(AppendPath(path, "\\abc"));  // 11 chars
    EXPECT_FALSE(AppendPath(path, "d"));
    EXPECT_STREQ("C:\\Temp\\abc", path);
}

}  // namespace
