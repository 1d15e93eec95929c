// Extraction of one payload entry from the container compiled into the program.
#pragma once

#include "core/replacement_file.h"

#include <cstddef>
#include <cstdint>

// Bytes written of the payload: `report` is called from the decoding threads
// with the running count, so it must be safe on any thread.
struct WriteProgress {
    void (*report)(void* context, std::uint64_t written, std::uint64_t total) = nullptr;
    void* context = nullptr;
    std::uint64_t total = 0;
    volatile LONG64 written = 0;
};

// The size of the file entry `index` decodes to; 0 when there is no such entry.
std::uint64_t PayloadEntrySize(std::uint32_t index);

// Decompresses entry `index` (0 the application executable, 1 the help file) and
// writes it as the file `targetPath`.  ERROR_SUCCESS exactly when all of the
// entry's bytes were written and the file took the place of any file at that
// path; otherwise the Win32 error (ERROR_INVALID_DATA: the entry does not
// decode) and a file already there stays as it was.  progress may be null.
// A file in use at the path is replaced as `inUse` says (replacement_file.h).
DWORD ExtractPayloadEntry(std::uint32_t index, const char* targetPath, WriteProgress* progress = nullptr,
                          InUse inUse = InUse::kFail);

// ExtractPayloadEntry over a container other than the built-in one, given by its
// first word and its length in words, and its part index (container.h; null
// and 0 for none).  For tests and the benchmark.
DWORD ExtractPayloadEntryFrom(const std::uint32_t* container, std::size_t containerWords,
                              const std::uint32_t* partIndex, std::size_t partIndexWords, std::uint32_t index,
                              const char* targetPath, WriteProgress* progress = nullptr, InUse inUse = InUse::kFail);
