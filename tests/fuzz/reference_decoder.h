// A deliberately plain raw-stream decoder for differential fuzzing: a flat
// 2^15-entry table, the 32-bit register with the exact one-word refill after
// every field, bytes copied one at a time, every read checked.  The library's
// decoder reads ahead and skips checks where margins allow; for any input it
// must return the same result, and on success the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xpress.h"

namespace reference {

inline xpress::DecodeResult Decode(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                                   std::size_t out_size) {
    using xpress::DecodeResult;
    static std::vector<std::uint16_t> table(1u << 15);  // symbol << 4 | length
    std::size_t ip = 0, op = 0;
    auto u16 = [&](std::size_t p) { return std::uint32_t(in[p] | in[p + 1] << 8); };
    while (op < out_size) {
        if (in_size - ip < 260) return DecodeResult::kTruncated;
        unsigned len[512];
        std::uint32_t space = 0;
        for (unsigned i = 0; i < 512; i++) {
            len[i] = (in[ip + i / 2] >> (4 * (i % 2))) & 15;
            if (len[i] != 0) space += 1u << (15 - len[i]);
        }
        if (space != 1u << 15) return DecodeResult::kBadTable;
        std::size_t pos = 0;
        for (unsigned l = 1; l <= 15; l++)
            for (unsigned s = 0; s < 512; s++)
                if (len[s] == l)
                    for (std::size_t j = 0; j < (std::size_t(1) << (15 - l)); j++)
                        table[pos++] = std::uint16_t(s << 4 | l);
        ip += 256;
        std::uint32_t reg = u16(ip) << 16 | u16(ip + 2);
        unsigned avail = 32;
        ip += 4;
        auto consume = [&](unsigned n) {
            reg = n == 0 ? reg : reg << n;
            avail -= n;
            if (avail < 16) {
                if (in_size - ip < 2) return false;
                reg |= u16(ip) << (16 - avail);
                ip += 2;
                avail += 16;
            }
            return true;
        };
        const std::size_t limit = op + 65536;
        while (op < limit && op < out_size) {
            const unsigned e = table[reg >> 17];
            if (!consume(e & 15)) return DecodeResult::kTruncated;
            const unsigned sym = e >> 4;
            if (sym < 256) {
                out[op++] = std::uint8_t(sym);
                continue;
            }
            const unsigned k = (sym - 256) >> 4;
            std::uint64_t length = (sym - 256) & 15;
            if (length == 15) {
                if (in_size - ip < 1) return DecodeResult::kTruncated;
                const unsigned b = in[ip++];
                if (b < 255) {
                    length = 15 + b;
                } else {
                    if (in_size - ip < 2) return DecodeResult::kTruncated;
                    length = u16(ip);
                    ip += 2;
                    if (length == 0) {
                        if (in_size - ip < 4) return DecodeResult::kTruncated;
                        length = u16(ip) | std::uint64_t(u16(ip + 2)) << 16;
                        ip += 4;
                    }
                    if (length < 15) return DecodeResult::kBadLength;
                }
            }
            length += 3;
            std::size_t offset = 1;
            if (k != 0) {
                offset = (std::size_t(1) << k) | (reg >> (32 - k));
                if (!consume(k)) return DecodeResult::kTruncated;
            }
            if (offset > op) return DecodeResult::kBadOffset;
            if (length > out_size - op) return DecodeResult::kBadLength;
            for (std::uint64_t i = 0; i < length; i++, op++) out[op] = out[op - offset];
        }
    }
    return DecodeResult::kSuccess;
}

}  // namespace reference
