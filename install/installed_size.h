// The installed size that the uninstall registration reports.
#pragma once

#include <cstdint>

// A file's size in whole KiB, rounded up: 0 bytes count 0, 1 to 1024 bytes count 1.
// The registration holds a 32-bit sum, so larger counts simply wrap.
inline std::uint32_t SizeInKiB(std::uint64_t bytes) { return std::uint32_t((bytes + 1023) >> 10); }
