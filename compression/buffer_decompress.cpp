// Reading a buffer-mode stream.
#include "buffer_header.h"

namespace xpress {

bool Decompress(Decompressor* handle, const void* compressed, std::size_t compressedSize, void* output,
                std::size_t outputCapacity, std::size_t* outputSize) {
    *outputSize = 0;
    const u8* const in = static_cast<const u8*>(compressed);
    if (handle == nullptr || compressedSize < kBufferHeaderBytes) return false;
    if (std::memcmp(in, kSignature, 4) != 0 || LoadU16(in + 4) != kHeaderLength ||
        in[kAlgorithmByte] != COMPRESS_ALGORITHM_XPRESS_HUFF)
        return false;
    const u64 size = LoadU64(in + 8);
    if (LoadU64(in + 16) != size || size > outputCapacity) return false;
    if (LoadU32(in + 24) != compressedSize - kBufferHeaderBytes) return false;
    if (DecompressRaw(handle, in + kBufferHeaderBytes, compressedSize - kBufferHeaderBytes, output,
                      std::size_t(size)) != DecodeResult::kSuccess) {
        std::memset(output, 0, std::size_t(size));
        return false;
    }
    *outputSize = std::size_t(size);
    return true;
}

}  // namespace xpress
