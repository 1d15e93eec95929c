// ExtractPayloadEntry under Wine: the built-in container's entries against the
// files they were packed from, every way a target can refuse, and damaged
// containers through ExtractPayloadEntryFrom.
#include "payload/container.h"
#include "payload/embedded_container.h"
#include "payload/extract.h"
#include "tests/support/test_paths.h"
#include "tests/support/ui_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kInputs[2] = {PAYLOAD_APP_WINDOWS, PAYLOAD_HELP_WINDOWS};
const std::string kExisting = "a file that was here before";

class ExtractPayload : public testing::Test {
protected:
    void SetUp() override { folder_ = MakeScratchFolder("extract"); }
    void TearDown() override { RemoveTree(folder_); }

    std::string Target(const std::string& name = "target.bin") const { return folder_ + "\\" + name; }

    std::string folder_;
};

TEST_F(ExtractPayload, WritesEachEntryEqualToItsInput)
{
    for (std::uint32_t index : {1u, 0u}) {  // any order
        const std::string expected = ReadFileBytes(kInputs[index]);
        ASSERT_FALSE(expected.empty()) << kInputs[index];
        ASSERT_TRUE(ExtractPayloadEntry(index, Target().c_str())) << index;
        EXPECT_TRUE(ReadFileBytes(Target()) == expected) << index;
    }
}

TEST_F(ExtractPayload, IndicesFromTwoUpCreateNothing)
{
    for (std::uint32_t index : {2u, 3u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(ExtractPayloadEntry(index, Target().c_str())) << index;
        EXPECT_FALSE(FileExists(Target())) << index;
    }
}

TEST_F(ExtractPayload, ReplacesALargerFileWithExactlyTheEntry)
{
    const std::string expected = ReadFileBytes(kInputs[1]);
    ASSERT_TRUE(WriteFileBytes(Target(), std::string(expected.size() * 3 + 4096, 'x')));
    ASSERT_TRUE(ExtractPayloadEntry(1, Target().c_str()));
    EXPECT_TRUE(ReadFileBytes(Target()) == expected);
}

TEST_F(ExtractPayload, ExtractingTwiceGivesTheSameFile)
{
    ASSERT_TRUE(ExtractPayloadEntry(0, Target().c_str()));
    const std::string first = ReadFileBytes(Target());
    ASSERT_TRUE(ExtractPayloadEntry(0, Target().c_str()));
    EXPECT_TRUE(ReadFileBytes(Target()) == first);
    EXPECT_TRUE(first == ReadFileBytes(kInputs[0]));
}

TEST_F(ExtractPayload, FailsOnAFileAnotherProgramHoldsOpen)
{
    ASSERT_TRUE(WriteFileBytes(Target(), kExisting));
    {
        const ui::FileHolder holder(Target());
        ASSERT_TRUE(holder.holding());
        EXPECT_FALSE(ExtractPayloadEntry(1, Target().c_str()));
    }
    EXPECT_TRUE(ui::WaitUntil([&] { return ReadFileBytes(Target()) == kExisting; }, 5000))
        << "the held file changed";
}

TEST_F(ExtractPayload, FailsWhenTheFolderIsMissing)
{
    const std::string missing = folder_ + "\\missing";
    EXPECT_FALSE(ExtractPayloadEntry(0, (missing + "\\LumovaraRemote.exe").c_str()));
    EXPECT_FALSE(FileExists(missing));
}

// A copy of the built-in container that a test may damage.
class DamagedContainer : public ExtractPayload {
protected:
    void SetUp() override
    {
        ExtractPayload::SetUp();
        words_.assign(PayloadContainer, PayloadContainer + PayloadContainerWords);
        ASSERT_TRUE(WriteFileBytes(Target(), kExisting));
    }

    // Where entry `index` lies in the undamaged copy.
    std::size_t HeaderWord(std::uint32_t index) const
    {
        return index == 0 ? payload::kFirstEntryWord : 4 + payload::BodyWords(PayloadContainer[2]);
    }
    std::size_t EndWord(std::uint32_t index) const
    {
        return HeaderWord(index) + 2 + payload::BodyWords(PayloadContainer[HeaderWord(index)]);
    }
    std::uint8_t* Stream(std::uint32_t index) { return reinterpret_cast<std::uint8_t*>(&words_[HeaderWord(index) + 2]); }
    std::uint32_t& SizeWord(std::uint32_t index, int which) { return words_[HeaderWord(index) + which]; }  // 0 c, 1 u

    // Extraction fails and the file already at the target is left alone.
    void ExpectRefused(std::uint32_t index)
    {
        EXPECT_FALSE(ExtractPayloadEntryFrom(words_.data(), words_.size(), index, Target().c_str()));
        EXPECT_EQ(kExisting, ReadFileBytes(Target()));
    }

    std::vector<std::uint32_t> words_;
};

TEST_F(DamagedContainer, TheUndamagedCopyExtracts)
{
    for (std::uint32_t index : {0u, 1u}) {
        ASSERT_TRUE(ExtractPayloadEntryFrom(words_.data(), words_.size(), index, Target().c_str()));
        EXPECT_TRUE(ReadFileBytes(Target()) == ReadFileBytes(kInputs[index]));
    }
}

TEST_F(DamagedContainer, ABadStreamHeaderIsRefused)
{
    for (std::uint32_t index : {0u, 1u}) {
        std::uint8_t* stream = Stream(index);
        stream[0] ^= 0xFF;  // signature
        ExpectRefused(index);
        stream[0] ^= 0xFF;
        stream[7] = 3;      // algorithm
        ExpectRefused(index);
        stream[7] = 4;
    }
}

TEST_F(DamagedContainer, ABrokenCodeLengthTableIsRefused)
{
    for (std::uint8_t fill : {0x00, 0xFF}) {
        std::memset(Stream(1) + 28, fill, 256);  // no code at all / an over-subscribed one
        ExpectRefused(1);
    }
}

TEST_F(DamagedContainer, ATruncatedStreamIsRefused)
{
    for (std::uint32_t cut : {1u, 4u, 100u}) {
        SizeWord(1, 0) -= cut;
        ExpectRefused(1);
        SizeWord(1, 0) += cut;
    }
    // Cut inside the block, with the block length cut to match.
    const std::uint32_t c = SizeWord(1, 0);
    SizeWord(1, 0) = c / 2;
    std::uint32_t blockLength = c / 2 - 28;
    std::memcpy(Stream(1) + 24, &blockLength, 4);
    ExpectRefused(1);
}

TEST_F(DamagedContainer, ASizeWordThatDisagreesWithTheStreamIsRefused)
{
    for (std::uint32_t index : {0u, 1u}) {
        SizeWord(index, 1) -= 1;  // the stream holds more than u
        ExpectRefused(index);
        SizeWord(index, 1) += 2;  // the stream holds less than u: the file would end in garbage
        ExpectRefused(index);
        SizeWord(index, 1) -= 1;
    }
}

// The first `words` words of the copy, placed so that the page after them is
// inaccessible: reading one byte past them faults.
class GuardedCopy {
public:
    GuardedCopy(const std::vector<std::uint32_t>& source, std::size_t words)
    {
        const std::size_t bytes = words * 4;
        const std::size_t dataPages = (bytes + kPage - 1) / kPage;
        base_ = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, (dataPages + 1) * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        std::uint8_t* guard = base_ + dataPages * kPage;
        DWORD previous;
        VirtualProtect(guard, kPage, PAGE_NOACCESS, &previous);
        words_ = reinterpret_cast<std::uint32_t*>(guard - bytes);
        std::memcpy(words_, source.data(), bytes);
    }
    ~GuardedCopy() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedCopy(const GuardedCopy&) = delete;
    GuardedCopy& operator=(const GuardedCopy&) = delete;

    const std::uint32_t* words() const { return words_; }

private:
    static constexpr std::size_t kPage = 65536;
    std::uint8_t* base_ = nullptr;
    std::uint32_t* words_ = nullptr;
};

TEST_F(DamagedContainer, AContainerCutShortIsNeverReadPastItsEnd)
{
    const std::size_t entry0Body = HeaderWord(0) + 2;
    const std::size_t entry0End = EndWord(0);
    const std::size_t entry1Body = HeaderWord(1) + 2;
    ASSERT_EQ(entry0End, HeaderWord(1));
    ASSERT_EQ(words_.size(), EndWord(1));

    for (std::size_t length : {std::size_t(1), std::size_t(3), entry0Body + 1, entry0End - 1, entry0End + 1,
                               entry1Body + 1, words_.size() - 1}) {
        const GuardedCopy copy(words_, length);
        for (std::uint32_t index : {0u, 1u}) {
            if (index == 0 && length >= entry0End)
                continue;
            EXPECT_FALSE(ExtractPayloadEntryFrom(copy.words(), length, index, Target().c_str()))
                << "length " << length << " index " << index;
            EXPECT_EQ(kExisting, ReadFileBytes(Target()));
        }
    }
    const GuardedCopy whole(words_, words_.size());
    ASSERT_TRUE(ExtractPayloadEntryFrom(whole.words(), words_.size(), 1, Target().c_str()));
    EXPECT_TRUE(ReadFileBytes(Target()) == ReadFileBytes(kInputs[1]));
}

TEST_F(DamagedContainer, ASizeWordPointingPastTheEndIsRefused)
{
    for (std::uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, std::uint32_t(words_.size() * 4)}) {
        SizeWord(1, 0) = size;
        ExpectRefused(1);
        words_.assign(PayloadContainer, PayloadContainer + PayloadContainerWords);
        SizeWord(0, 0) = size;  // entry 1 is now out of reach too
        ExpectRefused(0);
        ExpectRefused(1);
        words_.assign(PayloadContainer, PayloadContainer + PayloadContainerWords);
    }
}

}  // namespace
