// Writing a buffer-mode stream.
#include "buffer_header.h"

namespace xpress {

std::size_t CompressBound(std::size_t inputSize) { return kBufferHeaderBytes + CompressRawBound(inputSize); }

bool Compress(Compressor* handle, const void* input, std::size_t inputSize, void* output, std::size_t outputCapacity,
              std::size_t* compressedSize)
{
    *compressedSize = 0;
    if (handle == nullptr || outputCapacity < kBufferHeaderBytes || inputSize > 0xFFFFFFFFu)
        return false;
    u8* const out = static_cast<u8*>(output);
    std::size_t raw_size;
    if (!CompressRaw(handle, input, inputSize, out + kBufferHeaderBytes, outputCapacity - kBufferHeaderBytes,
                     &raw_size))
        return false;
    if (raw_size > 0xFFFFFFFFu)
        return false;
    std::memcpy(out, kSignature, 4);
    StoreU16(out + 4, kHeaderLength);
    out[kLevelByte] = u8(CompressorLevel(handle));
    out[kAlgorithmByte] = u8(COMPRESS_ALGORITHM_XPRESS_HUFF);
    StoreU64(out + 8, inputSize);
    StoreU64(out + 16, inputSize);
    StoreU32(out + 24, u32(raw_size));
    *compressedSize = kBufferHeaderBytes + raw_size;
    return true;
}

}  // namespace xpress
