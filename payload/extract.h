// Extraction of one payload entry from the container compiled into the program.
#pragma once

#include <cstddef>
#include <cstdint>

// Decompresses entry `index` (0 the application executable, 1 the help file) and
// writes it as the file `targetPath`.  True exactly when all of the entry's bytes
// were written and the file took the place of any file at that path; otherwise
// a file already there stays as it was.
bool ExtractPayloadEntry(std::uint32_t index, const char* targetPath);

// ExtractPayloadEntry over a container other than the built-in one, given by its
// first word and its length in words, and its part index (container.h; null
// and 0 for none).  For tests and the benchmark.
bool ExtractPayloadEntryFrom(const std::uint32_t* container, std::size_t containerWords,
                             const std::uint32_t* partIndex, std::size_t partIndexWords, std::uint32_t index,
                             const char* targetPath);
