// Building the payload container on the build host: compressing the files,
// laying out the container's bytes, and the assembler source that puts them
// into the program.
#pragma once

#include "compression/xpress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace payload {

// One file as the container carries it: its buffer-mode stream, the size it
// decodes to, and where its parts after the first begin in its raw stream.
struct PackedEntry {
    std::vector<std::uint8_t> stream;
    std::uint32_t uncompressedSize = 0;
    std::vector<std::uint32_t> partStarts;
};

// How PackFile compresses: the level, the threads (0: one per core; the
// stream is the same for any count) and an optional progress report.
struct PackSettings {
    int level = xpress::kStrongestLevel;
    unsigned threads = 0;
    xpress::CompressProgress progress = nullptr;
    void* progressContext = nullptr;
};

// Compresses `data` (1 byte to 4 GiB - 1) into one XPRESS Huffman buffer-mode
// stream.  False, with a short reason in *error, for a level outside 1..9,
// when out of memory, or when the stream would not fit the container's 32-bit
// size field.
bool PackFile(const std::vector<std::uint8_t>& data, const PackSettings& settings, PackedEntry* entry,
              std::string* error);

// The container's bytes: "TPIZ", the entry count, then each entry's two size
// words and its stream padded with zero bytes to a multiple of 4.  The caller
// guarantees each stream is shorter than 4 GiB.
std::vector<std::uint8_t> BuildContainer(const std::vector<PackedEntry>& entries);

// The entries' part index: their part starts, one word each, in index order.
std::vector<std::uint32_t> BuildPartIndex(const std::vector<PackedEntry>& entries);

// An assembler source (GNU as, PE/COFF) that puts the container file at
// `containerPath` (absolute; `words` 32-bit words long) into read-only data
// as the 4-byte-aligned word array `symbol`, taken in whole by .incbin,
// followed by the 64-bit word count `symbol`Words, then the part index as the
// word array `symbol`Parts and its count `symbol`PartsWords.
std::string ContainerAssembly(const std::string& containerPath, std::size_t words,
                              const std::vector<std::uint32_t>& partIndex, const std::string& symbol);

}  // namespace payload
