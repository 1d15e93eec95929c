// libFuzzer: compressor round trip.  The first byte picks the level, the
// rest is the input; the stream must fit CompressBound and decode exactly.
#include <cstdint>
#include <cstring>
#include <vector>

#include "xpress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int level = xpress::kFastestLevel + data[0] % (xpress::kStrongestLevel - xpress::kFastestLevel + 1);
    static xpress::Decompressor* d = [] {
        xpress::Decompressor* h = nullptr;
        xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h);
        return h;
    }();
    static xpress::Compressor* compressors[xpress::kStrongestLevel + 1] = {};
    xpress::Compressor*& c = compressors[level];
    if (c == nullptr && !xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c))
        __builtin_trap();
    const std::vector<std::uint8_t> in(data + 1, data + size);
    std::vector<std::uint8_t> comp(xpress::CompressBound(in.size()));
    std::size_t comp_size = 0;
    if (!xpress::Compress(c, in.data(), in.size(), comp.data(), comp.size(), &comp_size)) __builtin_trap();
    comp.resize(comp_size);
    std::vector<std::uint8_t> out(in.size());
    std::size_t out_size = 0;
    if (!xpress::Decompress(d, comp.data(), comp.size(), out.data(), out.size(), &out_size)) __builtin_trap();
    if (out_size != in.size() || (!in.empty() && std::memcmp(out.data(), in.data(), in.size()) != 0))
        __builtin_trap();
    return 0;
}
