// Internal prelude of the codec: fixed-width names, little-endian loads and
// stores through memcpy (no pointer casts, no alignment assumptions), bit scans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__) || defined(__clang__)
#define XPRESS_FORCEINLINE inline __attribute__((always_inline))
#define XPRESS_LIKELY(x) __builtin_expect(!!(x), 1)
#define XPRESS_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define XPRESS_FORCEINLINE inline
#define XPRESS_LIKELY(x) (x)
#define XPRESS_UNLIKELY(x) (x)
#endif

namespace xpress {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;

// The stream is little-endian; every supported host (x86-64 Linux and
// Windows) is too, so a load is one memcpy.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "little-endian host assumed");

XPRESS_FORCEINLINE u16 LoadU16(const u8* p)
{
    u16 v;
    std::memcpy(&v, p, 2);
    return v;
}
XPRESS_FORCEINLINE u32 LoadU32(const u8* p)
{
    u32 v;
    std::memcpy(&v, p, 4);
    return v;
}
XPRESS_FORCEINLINE u64 LoadU64(const u8* p)
{
    u64 v;
    std::memcpy(&v, p, 8);
    return v;
}
XPRESS_FORCEINLINE void StoreU16(u8* p, u16 v) { std::memcpy(p, &v, 2); }
XPRESS_FORCEINLINE void StoreU32(u8* p, u32 v) { std::memcpy(p, &v, 4); }
XPRESS_FORCEINLINE void StoreU64(u8* p, u64 v) { std::memcpy(p, &v, 8); }

// Index of the highest set bit; v must be nonzero.
XPRESS_FORCEINLINE unsigned FloorLog2(u32 v) { return 31u - unsigned(__builtin_clz(v)); }

// v rotated left by n (any n; a rotation by 0 or 64 is v).
XPRESS_FORCEINLINE u64 RotateLeft(u64 v, unsigned n) { return (v << (n & 63)) | (v >> ((64 - n) & 63)); }

// Number of equal leading bytes of a and b, from `len` up to `max_len`.
XPRESS_FORCEINLINE u32 ExtendMatch(const u8* a, const u8* b, u32 len, u32 max_len)
{
    while (max_len - len >= 8) {
        u64 diff = LoadU64(a + len) ^ LoadU64(b + len);
        if (diff != 0)
            return len + unsigned(__builtin_ctzll(diff) >> 3);
        len += 8;
    }
    while (len < max_len && a[len] == b[len])
        len++;
    return len;
}

}  // namespace xpress
