// libFuzzer: raw stream decoder.  The first 3 bytes choose the output size
// (up to 1 MiB: sixteen blocks), the rest is the stream.  The output buffer
// is exactly that size on the heap, uninitialised (zero-filling megabytes
// per input would dominate the run), so ASan catches any write past it.
// The result, and on success the output, must match the plain reference
// decoder's: the fast loop's read-ahead must not change what is accepted.
// The check without output must give the same result too.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "reference_decoder.h"
#include "xpress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t n = (data[0] | data[1] << 8 | data[2] << 16) & ((1u << 20) - 1);
    static xpress::Decompressor* d = [] {
        xpress::Decompressor* h = nullptr;
        xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h);
        return h;
    }();
    // The stream copy is exact-size too: reads past it are caught.
    std::vector<std::uint8_t> in(data + 3, data + size);
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[n]);
    const xpress::DecodeResult r = xpress::DecompressRaw(d, in.data(), in.size(), out.get(), n);
    std::unique_ptr<std::uint8_t[]> expected(new std::uint8_t[n]);
    const xpress::DecodeResult want = reference::Decode(in.data(), in.size(), expected.get(), n);
    if (r != want || xpress::CheckRaw(d, in.data(), in.size(), n) != want) std::abort();
    if (r == xpress::DecodeResult::kSuccess && n != 0 && std::memcmp(out.get(), expected.get(), n) != 0) std::abort();
    return 0;
}
