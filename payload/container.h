// The payload container: the block of read-only data that carries the setup
// program's two files.
//
// Layout, all integers unsigned 32-bit little-endian, read as 32-bit words:
//   word 0      magic "TPIZ"
//   word 1      entry count, 2
//   then per entry, in index order and without gaps:
//     1 word    c, the size of the entry's stream in bytes
//     1 word    u, the size of the file it decodes to
//     ceil(c/4) words: the stream (XPRESS Huffman, buffer mode), then zero
//               bytes up to the next multiple of 4
// There is no table of offsets: an entry is found by walking the ones before it.
//
// Beside the container, not in it, the packer writes its part index: for each
// entry in index order, xpress::PartCount(u) - 1 words, the offsets in the
// entry's raw stream (the stream less its kBufferHeaderBytes header) at which
// its parts after the first begin.  Extraction takes them as a hint to decode
// the parts at the same time, and checks them as it goes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compression/xpress.h"

namespace payload {

constexpr std::uint32_t kContainerMagic = 0x5A495054;  // "TPIZ" read as a little-endian word
constexpr std::uint32_t kEntryCount = 2;
constexpr std::size_t kFirstEntryWord = 2;

// Words of an entry body holding c stream bytes: ceil(c / 4).
constexpr std::size_t BodyWords(std::uint32_t compressedSize)
{
    return compressedSize / 4 + (compressedSize % 4 != 0 ? 1 : 0);
}

// Words of the part index for an entry of u bytes.
constexpr std::size_t PartStartWords(std::uint32_t uncompressedSize)
{
    return uncompressedSize == 0 ? 0 : xpress::PartCount(uncompressedSize) - 1;
}

struct EntryView {
    const std::uint32_t* body = nullptr;  // first word of the stream
    std::size_t bodyWords = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
};

// Finds entry `index` in a container of `containerWords` words by walking the
// entries before it.  Neither the magic nor the count word is read: indices
// 0 and 1 are accepted by the fixed bound kEntryCount.  False for any other
// index, and when a size word or a body would lie past the container's end, so
// a damaged layout is never read out of bounds.
bool LocateEntry(const std::uint32_t* container, std::size_t containerWords, std::uint32_t index, EntryView* entry);

// The part index's words for entry `index` (PartStartWords(u) of them), found
// by walking the container's entries before it; null when the container has
// no such entry or the index is too short for them.
const std::uint32_t* LocatePartStarts(const std::uint32_t* container, std::size_t containerWords,
                                      const std::uint32_t* partIndex, std::size_t partIndexWords, std::uint32_t index);

// Decodes the entry's stream (its first compressedSize bytes at `stream`)
// through `window` (xpress::DecompressRawThrough): each decoded part goes to
// sink; a window of at least uncompressedSize bytes takes the whole output.
// kSuccess only when the stream decodes to exactly uncompressedSize bytes and
// the sink took them all: a stream that is corrupt or truncated, or whose
// header disagrees with the entry's size words (kBadHeader), is refused, and
// nothing is ever written outside the window.  kNoMemory when no decompressor
// can be had.  kBadLength may also mean a match too long for a window smaller
// than the output.
xpress::DecodeResult DecodeEntryThrough(const EntryView& entry, const void* stream, void* window,
                                        std::size_t windowSize, xpress::DecodeSink sink, void* context);

}  // namespace payload
