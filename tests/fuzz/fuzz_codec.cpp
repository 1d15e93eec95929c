// libFuzzer, differential: the library's decoder against the plain reference
// decoder, which must give the same result and, on success, the same bytes; the
// check without output must give the same result too, and so must the decoder
// through a window of a few blocks, part by part.
// First byte below 0x80: the next 3 choose the output size (up to 1 MiB, sixteen
// blocks), the rest is a raw stream.  From 0x80: the rest is an input, which the
// compressor (at the level the byte picks) must turn into a stream both give back.
// Buffers are exact heap blocks (outputs uninitialised: zero-filling megabytes
// per input would dominate the run), so ASan catches any access past them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "reference_decoder.h"
#include "xpress.h"

using xpress::DecodeResult;

constexpr std::size_t kWindow = xpress::kWindowOverhead + 4096;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static xpress::Decompressor* d = [] {
        xpress::Decompressor* h = nullptr;
        xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h);
        return h;
    }();
    if (size < 4) return 0;
    std::vector<std::uint8_t> in(data + 4, data + size), original(data + 1, data + size);
    std::size_t n = (data[1] | data[2] << 8 | data[3] << 16) & ((1u << 20) - 1);
    if (data[0] >= 0x80) {
        static xpress::Compressor* compressors[xpress::kStrongestLevel + 1] = {};
        const int level = xpress::kFastestLevel + data[0] % (xpress::kStrongestLevel - xpress::kFastestLevel + 1);
        if (compressors[level] == nullptr &&
            !xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &compressors[level]))
            std::abort();
        std::vector<std::uint8_t> stream(xpress::CompressBound(original.size()));
        std::size_t length = 0;
        if (!xpress::Compress(compressors[level], original.data(), original.size(), stream.data(), stream.size(),
                              &length))
            std::abort();
        in.assign(stream.begin() + xpress::kBufferHeaderBytes, stream.begin() + length);  // the raw stream
        n = original.size();
    }
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[n]), expected(new std::uint8_t[n]);
    const DecodeResult r = xpress::DecompressRaw(d, in.data(), in.size(), out.get(), n);
    if (r != reference::Decode(in.data(), in.size(), expected.get(), n) ||
        r != xpress::CheckRaw(d, in.data(), in.size(), n))
        std::abort();
    if (r == DecodeResult::kSuccess && n != 0 && std::memcmp(out.get(), expected.get(), n) != 0) std::abort();
    // Through a window of a few blocks: the same result (or kBadLength, a match longer than the window takes,
    // never for the compressor's streams), and the bytes received are always the output's first.
    static std::unique_ptr<std::uint8_t[]> window(new std::uint8_t[kWindow]);
    std::vector<std::uint8_t> parts;
    const xpress::DecodeSink append = [](void* to, const void* bytes, std::size_t count) {
        auto* v = static_cast<std::vector<std::uint8_t>*>(to);
        v->insert(v->end(), static_cast<const std::uint8_t*>(bytes), static_cast<const std::uint8_t*>(bytes) + count);
        return true;
    };
    const DecodeResult t =
        xpress::DecompressRawThrough(d, in.data(), in.size(), n, window.get(), kWindow, append, &parts);
    if ((t != r && (t != DecodeResult::kBadLength || data[0] >= 0x80)) ||
        (t == DecodeResult::kSuccess ? parts.size() != n : parts.size() > n) ||
        (r == DecodeResult::kSuccess && !parts.empty() && std::memcmp(parts.data(), expected.get(), parts.size()) != 0))
        std::abort();
    if (data[0] >= 0x80 && (r != DecodeResult::kSuccess || (n != 0 && std::memcmp(out.get(), original.data(), n) != 0)))
        std::abort();
    return 0;
}
