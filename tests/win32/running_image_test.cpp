// This program's own file matches the running image in reads of any size; one
// byte changed anywhere does not.  Wine loads programs at their files' base,
// Windows elsewhere: a file written for another base stands in for that.
#include "install/running_image.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

namespace {

bool Matches(const std::string& file, std::size_t chunk)
{
    for (std::size_t at = 0; at < file.size(); at += chunk)
        if (!MatchesRunningImage(at, file.data() + at, std::min(chunk, file.size() - at)))
            return false;
    return IsRunningImageSize(file.size());
}

const IMAGE_NT_HEADERS64* Headers(const std::string& file)
{
    const LONG headers = *reinterpret_cast<const LONG*>(file.data() + 0x3C);  // e_lfanew
    return reinterpret_cast<const IMAGE_NT_HEADERS64*>(file.data() + headers);
}

// The file offset of an address in the image.
std::size_t FileOffset(const std::string& file, DWORD rva)
{
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(Headers(file));
    for (WORD i = 0; i < Headers(file)->FileHeader.NumberOfSections; ++i, ++section)
        if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->SizeOfRawData)
            return rva - section->VirtualAddress + section->PointerToRawData;
    return 0;
}

// The file as the linker writes it for `newBase`; `skip` relocations left as they were.
std::string Rebased(const std::string& file, ULONGLONG newBase, std::size_t skip = 0)
{
    std::string rebased = file;
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS64*>(&rebased[*reinterpret_cast<const LONG*>(file.data() + 0x3C)]);
    const ULONGLONG delta = newBase - headers->OptionalHeader.ImageBase;
    headers->OptionalHeader.ImageBase = newBase;
    const IMAGE_DATA_DIRECTORY relocations = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    for (DWORD at = 0; at < relocations.Size;) {
        const auto* block = reinterpret_cast<const IMAGE_BASE_RELOCATION*>(
            file.data() + FileOffset(file, relocations.VirtualAddress + at));
        const auto* entries = reinterpret_cast<const WORD*>(block + 1);
        for (DWORD e = 0; e < (block->SizeOfBlock - sizeof *block) / 2; ++e) {
            if (entries[e] >> 12 != IMAGE_REL_BASED_DIR64 || skip-- == 1)
                continue;
            const std::size_t at = FileOffset(file, block->VirtualAddress + (entries[e] & 0xFFF));
            *reinterpret_cast<ULONGLONG*>(&rebased[at]) += delta;
        }
        at += block->SizeOfBlock;
    }
    return rebased;
}

TEST(RunningImage, OnlyTheRunningProgramsOwnBytesMatch)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file = ReadFileBytes(path);
    ASSERT_TRUE(PrepareImageCheck());
    for (std::size_t chunk : {std::size_t(65536), std::size_t(7), file.size()})
        EXPECT_TRUE(Matches(file, chunk)) << chunk;
    const ULONGLONG elsewhere = Headers(file)->OptionalHeader.ImageBase + 0x7340000;
    EXPECT_TRUE(Matches(Rebased(file, elsewhere), 65536)) << "the relocations are not undone";
    EXPECT_FALSE(Matches(Rebased(file, elsewhere, 5), 65536)) << "a relocated value off by the difference";

    // One byte changed in the headers or any section (the writable .data and
    // .idata too), in a section's padding, or one byte more or less: not ours.
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(Headers(file));
    std::vector<std::size_t> changes = {2, std::size_t(Headers(file)->OptionalHeader.SizeOfHeaders) - 1};
    for (WORD i = 0; i < Headers(file)->FileHeader.NumberOfSections; ++i) {
        if (sections[i].SizeOfRawData == 0)
            continue;
        changes.push_back(sections[i].PointerToRawData);
        changes.push_back(sections[i].PointerToRawData + sections[i].SizeOfRawData - 1);
    }
    for (std::size_t at : changes) {
        std::string other = file;
        other[at] = char(other[at] ^ 0x20);
        EXPECT_FALSE(Matches(other, 65536)) << "changed at " << at;
    }
    EXPECT_FALSE(Matches(file + '\0', 65536));
    EXPECT_FALSE(Matches(file.substr(0, file.size() - 1), 65536));
    EXPECT_TRUE(Matches(file, 4096)) << "a failed check leaves the next one as it was";
}

}  // namespace
