// Reading a buffer-mode stream.
#include "buffer_header.h"

namespace xpress {

bool Decompress(Decompressor* handle, const void* compressed, std::size_t compressedSize, void* output,
                std::size_t outputCapacity, std::size_t* outputSize)
{
    *outputSize = 0;
    u64 size = 0;
    const void* const raw = RawStream(compressed, compressedSize, &size);
    if (handle == nullptr || raw == nullptr || size > outputCapacity)
        return false;
    if (DecompressRaw(handle, raw, compressedSize - kBufferHeaderBytes, output, std::size_t(size)) !=
        DecodeResult::kSuccess) {
        std::memset(output, 0, std::size_t(size));
        return false;
    }
    *outputSize = std::size_t(size);
    return true;
}

}  // namespace xpress
