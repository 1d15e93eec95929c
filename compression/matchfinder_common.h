// Shared parts of the match finders.
//
// Positions are 32-bit signed offsets from the start of the window before
// the segment being compressed (see compressor.cpp), so inputs up to 4 GiB
// work with compact tables.  The window is the format's: a candidate at `node` is
// usable while cur - node <= kMaxOffset; kNullPos is always outside it.
// Hashing reads 4 bytes, so callers search only where 4 bytes remain.
#pragma once

#include "xpress_constants.h"

namespace xpress {

using mf_pos_t = std::int32_t;

constexpr mf_pos_t kNullPos = -(mf_pos_t(1) << 29);

constexpr unsigned kWindowOrder = 16;
constexpr std::size_t kWindowSize = std::size_t(1) << kWindowOrder;  // slots of the circular arrays
static_assert(kWindowSize > kMaxOffset, "a slot is reused only after it has left the window");

constexpr std::size_t kMinSearchBytes = 4;

XPRESS_FORCEINLINE u32 Hash3(const u8* p, unsigned bits)
{
    return ((LoadU32(p) & 0xFFFFFF) * 0x1E35A7BDu) >> (32 - bits);
}

// A match found by a finder: length and offset.
struct Match {
    u32 length;
    u32 offset;
};

}  // namespace xpress
