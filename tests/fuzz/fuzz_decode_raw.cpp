// libFuzzer: raw stream decoder.  The first 3 bytes choose the output size
// (up to 16 MiB), the rest is the stream.  The output buffer is exactly that
// size on the heap, so ASan catches any write past it.
#include <cstdint>
#include <vector>

#include "xpress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t n = data[0] | data[1] << 8 | (data[2] & 0xFF) << 16;
    static xpress::Decompressor* d = [] {
        xpress::Decompressor* h = nullptr;
        xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h);
        return h;
    }();
    // The stream copy is exact-size too: reads past it are caught.
    std::vector<std::uint8_t> in(data + 3, data + size);
    std::vector<std::uint8_t> out(n);
    xpress::DecompressRaw(d, in.data(), in.size(), out.data(), out.size());
    return 0;
}
