// Reading the buffer-mode header, apart from Decompress: a program that
// decodes through a window needs only this.
#include "buffer_header.h"

namespace xpress {

const void* RawStream(const void* compressed, std::size_t compressedSize, std::uint64_t* size)
{
    const u8* const in = static_cast<const u8*>(compressed);
    if (compressedSize < kBufferHeaderBytes || std::memcmp(in, kSignature, 4) != 0 ||
        LoadU16(in + 4) != kHeaderLength || in[kAlgorithmByte] != COMPRESS_ALGORITHM_XPRESS_HUFF)
        return nullptr;
    *size = LoadU64(in + 8);
    if (LoadU64(in + 16) != *size || LoadU32(in + 24) != compressedSize - kBufferHeaderBytes)
        return nullptr;
    return in + kBufferHeaderBytes;
}

}  // namespace xpress
