// The payload container that the build generates (payload-pack) and links into
// the program: 4-byte-aligned words in read-only data.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" const std::uint32_t PayloadContainer[];
extern "C" const std::uint64_t PayloadContainerWords;
// Its part index (see container.h).
extern "C" const std::uint32_t PayloadContainerParts[];
extern "C" const std::uint64_t PayloadContainerPartsWords;
