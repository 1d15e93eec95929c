// Raw LZ77+Huffman decoder (the loops are in decode_stream.h).
#include "decode_stream.h"
#include "memory.h"

namespace xpress {

DecodeResult DecompressRawThrough(Decompressor* handle, const void* compressed, std::size_t compressedSize,
                                  std::size_t outputSize, void* window, std::size_t windowSize, DecodeSink sink,
                                  void* context, std::size_t* consumed)
{
    return DecodeStream<true>(handle->table, compressed, compressedSize, static_cast<u8*>(window),
                              std::min(windowSize, outputSize), outputSize, sink, context, consumed);
}

DecodeResult DecompressRaw(Decompressor* handle, const void* compressed, std::size_t compressedSize, void* output,
                           std::size_t outputSize)
{
    return DecompressRawThrough(handle, compressed, compressedSize, outputSize, output, outputSize, nullptr, nullptr);
}

bool CreateDecompressor(std::uint32_t algorithm, Decompressor** handle)
{
    if (handle == nullptr)
        return false;
    *handle = nullptr;
    if (algorithm != COMPRESS_ALGORITHM_XPRESS_HUFF)
        return false;
    *handle = Allocate<Decompressor>();
    return *handle != nullptr;
}

void CloseDecompressor(Decompressor* handle) { std::free(handle); }

}  // namespace xpress
