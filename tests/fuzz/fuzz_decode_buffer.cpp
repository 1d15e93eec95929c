// libFuzzer: buffer-mode decoder.  The first byte scales the output capacity
// against the recorded size (below, equal, above), the rest is the stream.
#include <cstdint>
#include <cstring>
#include <vector>

#include "xpress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 + xpress::kBufferHeaderBytes) return 0;
    static xpress::Decompressor* d = [] {
        xpress::Decompressor* h = nullptr;
        xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h);
        return h;
    }();
    std::vector<std::uint8_t> in(data + 1, data + size);
    std::uint64_t recorded;
    std::memcpy(&recorded, in.data() + 8, 8);
    if (recorded > (std::uint64_t(1) << 24)) recorded = std::uint64_t(1) << 24;  // bound memory, not coverage
    const std::size_t capacity = data[0] % 3 == 0 && recorded > 0 ? recorded - 1 : recorded + data[0] % 3 - 1;
    std::vector<std::uint8_t> out(capacity);
    std::size_t written = 0;
    if (xpress::Decompress(d, in.data(), in.size(), out.data(), out.size(), &written) && written > capacity)
        __builtin_trap();
    return 0;
}
