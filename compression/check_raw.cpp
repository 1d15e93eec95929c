// The check of a raw stream without output: a file of its own, so that a
// program that only decodes does not carry it.
#include "decode_stream.h"

namespace xpress {

DecodeResult CheckRaw(Decompressor* handle, const void* compressed, std::size_t compressedSize, std::size_t outputSize)
{
    return DecodeStream<false>(handle->table, compressed, compressedSize, nullptr, outputSize, outputSize, nullptr,
                               nullptr);
}

}  // namespace xpress
