// The buffer-mode stream: a 24-byte header and a 32-bit block length around
// one raw stream (layout in xpress.h).
#include "common.h"
#include "xpress.h"

namespace xpress {

namespace {

constexpr u8 kSignature[4] = {0x0A, 0x51, 0xE5, 0xC0};
constexpr u16 kHeaderLength = 24;
constexpr std::size_t kLevelByte = 6;
constexpr std::size_t kAlgorithmByte = 7;
static_assert(kHeaderLength + 4 == kBufferHeaderBytes, "header, then the block length");

}  // namespace

std::size_t CompressBound(std::size_t inputSize) { return kBufferHeaderBytes + CompressRawBound(inputSize); }

bool Compress(Compressor* handle, const void* input, std::size_t inputSize, void* output,
              std::size_t outputCapacity, std::size_t* compressedSize) {
    *compressedSize = 0;
    if (handle == nullptr || outputCapacity < kBufferHeaderBytes || inputSize > 0xFFFFFFFFu) return false;
    u8* const out = static_cast<u8*>(output);
    std::size_t raw_size;
    if (!CompressRaw(handle, input, inputSize, out + kBufferHeaderBytes, outputCapacity - kBufferHeaderBytes,
                     &raw_size))
        return false;
    if (raw_size > 0xFFFFFFFFu) return false;
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
