// chm-stamp: makes a compiled HTML help file reproducible.
//
//   chm-stamp FILE.chm
//
// The CHM compiler stores the time of day it ran, in milliseconds, twice: in the
// ITSF file header (offset 0x10, big-endian) and in the #SYSTEM file's record 10
// (little-endian).  Both are rewritten in place with the time of day of
// SOURCE_DATE_EPOCH (UTC), or 0 when it is unset, so that two builds of the same
// sources give the same bytes.  Nothing reads either stamp; no checksum covers them.
//
// Finding #SYSTEM: the header names the directory (an ITSP header followed by
// PMGL listing chunks) and the start of content section 0; a listing entry gives
// a file's section and offset as variable-length integers.
// Exit status: 0 done, 1 not a CHM file this tool understands or an I/O error, 2 usage.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t ReadLe32(const Bytes& bytes, std::size_t at)
{
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
}

std::uint64_t ReadLe64(const Bytes& bytes, std::size_t at)
{
    return ReadLe32(bytes, at) | std::uint64_t(ReadLe32(bytes, at + 4)) << 32;
}

// A listing entry's integer: 7 bits a byte, most significant first, high bit set
// on every byte but the last.  False when it runs past `end` or past 64 bits.
bool ReadEncInt(const Bytes& bytes, std::size_t* at, std::size_t end, std::uint64_t* value)
{
    *value = 0;
    for (int i = 0; i < 9; ++i) {
        if (*at >= end)
            return false;
        const unsigned char byte = bytes[(*at)++];
        *value = *value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

struct Extent {
    std::size_t offset = 0;  // 0: not found
    std::size_t length = 0;
};

// Where the #SYSTEM file's data lies in the CHM file.
Extent FindSystemFile(const Bytes& chm)
{
    const std::uint64_t directory = ReadLe64(chm, 0x48);
    const std::uint64_t content = ReadLe64(chm, 0x58);
    if (directory > chm.size() || chm.size() - directory < 0x54 || std::memcmp(&chm[directory], "ITSP", 4) != 0)
        return {};
    const std::uint32_t chunkSize = ReadLe32(chm, directory + 0x10);
    const std::uint32_t chunkCount = ReadLe32(chm, directory + 0x2C);
    const std::size_t chunks = directory + ReadLe32(chm, directory + 0x08);
    if (chunkSize < 0x14)
        return {};
    for (std::uint64_t i = 0; i < chunkCount; ++i) {
        const std::uint64_t start = chunks + i * chunkSize;
        if (start > chm.size() || chm.size() - start < chunkSize)
            return {};
        if (std::memcmp(&chm[start], "PMGL", 4) != 0)
            continue;  // an index chunk: the listing chunks hold every name anyway
        const std::uint32_t freeSpace = ReadLe32(chm, start + 4);
        if (freeSpace > chunkSize - 0x14)
            return {};
        const std::size_t end = start + chunkSize - freeSpace;
        std::size_t at = start + 0x14;
        while (at < end) {
            std::uint64_t nameLength, section, offset, length;
            if (!ReadEncInt(chm, &at, end, &nameLength) || nameLength > end - at)
                return {};
            const std::string name(chm.begin() + long(at), chm.begin() + long(at + nameLength));
            at += nameLength;
            if (!ReadEncInt(chm, &at, end, &section) || !ReadEncInt(chm, &at, end, &offset) ||
                !ReadEncInt(chm, &at, end, &length))
                return {};
            if (name == "/#SYSTEM") {
                if (section != 0 || content > chm.size() || offset > chm.size() - content ||
                    length > chm.size() - content - offset)
                    return {};
                return {std::size_t(content + offset), std::size_t(length)};
            }
        }
    }
    return {};
}

// Rewrites both stamps; false with *error set when the file is not as expected.
bool Stamp(Bytes* chm, std::uint32_t stamp, std::string* error)
{
    Bytes& bytes = *chm;
    if (bytes.size() < 0x60 || std::memcmp(bytes.data(), "ITSF", 4) != 0 || ReadLe32(bytes, 4) != 3) {
        *error = "not a version 3 CHM file";
        return false;
    }
    for (int i = 0; i < 4; ++i)
        bytes[0x10 + i] = static_cast<unsigned char>(stamp >> (24 - 8 * i));

    const Extent system = FindSystemFile(bytes);
    if (system.offset == 0) {
        *error = "no #SYSTEM file in the directory";
        return false;
    }
    // #SYSTEM: a 4-byte version, then records of code (2 bytes), length (2 bytes), data.
    const std::size_t end = system.offset + system.length;
    std::size_t at = system.offset + 4;
    while (at + 4 <= end) {
        const unsigned code = bytes[at] | bytes[at + 1] << 8;
        const std::size_t length = bytes[at + 2] | bytes[at + 3] << 8;
        if (length > end - at - 4)
            break;
        if (code == 10 && length == 4) {
            for (int i = 0; i < 4; ++i)
                bytes[at + 4 + i] = static_cast<unsigned char>(stamp >> (8 * i));
            return true;
        }
        at += 4 + length;
    }
    *error = "no time stamp record in #SYSTEM";
    return false;
}

// Milliseconds into the day of SOURCE_DATE_EPOCH, as the compiler counts them.
bool StampFromEnvironment(std::uint32_t* stamp)
{
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    *stamp = 0;
    if (text == nullptr || *text == '\0')
        return true;
    char* end = nullptr;
    errno = 0;
    const unsigned long long seconds = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || *text == '-')
        return false;
    *stamp = std::uint32_t(seconds % 86400 * 1000);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: chm-stamp FILE.chm\n", stderr);
        return 2;
    }
    const char* path = argv[1];
    std::uint32_t stamp;
    if (!StampFromEnvironment(&stamp)) {
        std::fprintf(stderr, "chm-stamp: SOURCE_DATE_EPOCH is not a number of seconds\n");
        return 1;
    }
    std::ifstream in(path, std::ios::binary);
    Bytes chm((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) {
        std::fprintf(stderr, "chm-stamp: %s: cannot read\n", path);
        return 1;
    }
    in.close();
    std::string error;
    if (!Stamp(&chm, stamp, &error)) {
        std::fprintf(stderr, "chm-stamp: %s: %s\n", path, error.c_str());
        return 1;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(chm.data()), std::streamsize(chm.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "chm-stamp: %s: cannot write\n", path);
        return 1;
    }
    return 0;
}
