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
        for (char c : before)
            if (c != 'G')
                return false;
        for (char c : after)
            if (c != 'G')
                return false;
        return true;
    }
};

TEST(FormatBounded, OutputThatFitsExactlyIsWholeAndTerminated)
{
    Guarded<8> buffer;
    EXPECT_EQ(kFormatOk, FormatBounded(buffer.data, 8, "%s-%d", "abcd", 12));  // 7 chars
    EXPECT_STREQ("abcd-12", buffer.data);
    EXPECT_TRUE(buffer.Intact());
}

TEST(FormatBounded, OutputOneTooLongIsCutToCapacityMinusOne)
{
    Guarded<8> buffer;
    EXPECT_EQ(kFormatInsufficientBuffer, FormatBounded(buffer.data, 8, "%s", "abcdefgh"));
    EXPECT_STREQ("abcdefg", buffer.data);
    EXPECT_EQ('\0', buffer.data[7]);
    EXPECT_TRUE(buffer.Intact());
}

TEST(FormatBounded, CapacityOneHoldsOnlyTheTerminator)
{
    Guarded<4> buffer;
    EXPECT_EQ(kFormatInsufficientBuffer, FormatBounded(buffer.data, 1, "%s", "a"));
    EXPECT_EQ('\0', buffer.data[0]);
    EXPECT_EQ('x', buffer.data[1]);
    EXPECT_TRUE(buffer.Intact());

    Guarded<4> empty;
    EXPECT_EQ(kFormatOk, FormatBounded(empty.data, 1, "%s", ""));
    EXPECT_EQ('\0', empty.data[0]);
}

TEST(FormatBounded, CapacityZeroLeavesTheBufferUntouched)
{
    Guarded<4> buffer;
    EXPECT_EQ(kFormatInvalidArg, FormatBounded(buffer.data, 0, "%s", "abc"));
    EXPECT_EQ(std::string(4, 'x'), std::string(buffer.data, 4));
    EXPECT_TRUE(buffer.Intact());
}

TEST(FormatBounded, CapacityAboveTheLimitEmptiesTheBuffer)
{
    Guarded<4> buffer;
    EXPECT_EQ(kFormatInvalidArg, FormatBounded(buffer.data, 0x80000000u, "%s", "abc"));
    EXPECT_EQ('\0', buffer.data[0]);
    EXPECT_EQ('x', buffer.data[1]);
    EXPECT_TRUE(buffer.Intact());
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
