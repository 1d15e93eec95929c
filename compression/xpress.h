// XPRESS Huffman (the LZ77+Huffman format of [MS-XCA]): compressor and
// decompressor for whole buffers.
//
// Two layers:
//  - The buffer-mode stream, shaped after the Windows Compression API for
//    COMPRESS_ALGORITHM_XPRESS_HUFF: a 24-byte header, a 4-byte block length,
//    then one raw stream.  Create a handle for algorithm 4, compress or
//    decompress whole buffers, close the handle.
//  - The raw stream on its own (DecompressRaw / CompressRaw), for tools and
//    tests.  A raw stream does not record its uncompressed size; the caller
//    must know it.
//
// Buffer-mode layout (little-endian):
//   0  4  signature 0A 51 E5 C0
//   4  2  header length, 24
//   6  1  the compression level that made the stream (1..kStrongestLevel);
//         informational only, the decompressor accepts any value
//   7  1  algorithm, 04
//   8  8  uncompressed size
//  16  8  uncompressed size again (must be equal)
//  24  4  length L of the raw stream that follows
//  28  L  raw stream; the whole buffer is exactly 28 + L bytes
//
// Handles are not thread-safe; use one per thread.
//
// Memory: nothing here throws.  Every allocation is a std::malloc or
// std::realloc checked on the spot, and running out of memory is the failure
// of the call that needed it (false from the Create functions, Compress and
// CompressRaw); there is no operator new, so a program that only decodes
// links no C++ allocation or exception support.  Decompression never
// allocates (the decoder's table lives in its handle).  A compressor
// allocates its buffers when it is made, except the strong levels' list of a
// block's matches, which grows during its first calls and is kept.
//
// The compressor cuts its input at fixed points, every kSegmentSpan bytes,
// and compresses each segment on its own: its matches still reach back into
// the segment before, but its parse and codes depend on nothing else.  So
// segments can be compressed at the same time (SetCompressorThreads), and a
// stream is the same whatever the number of threads.  Every kPartSpan bytes
// the history starts afresh as well: no match reaches back across a part's
// start, so a decoder told where the part's bytes begin in the stream
// (CompressedPartStarts) can decode it on its own, at the same time as the
// others.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xpress {

constexpr std::uint32_t COMPRESS_ALGORITHM_XPRESS_HUFF = 4;

// Levels 1..9.  1-6 greedy or lazy parsing with hash chains (level 2, the
// default, matches wimlib's default level in size and speed); 7-9
// near-optimal parsing (binary-tree match finder, costs from the block's own
// Huffman code lengths, iterated).  Larger is smaller and slower.
constexpr int kFastestLevel = 1;
constexpr int kDefaultLevel = 2;
constexpr int kStrongestLevel = 9;

constexpr std::size_t kBufferHeaderBytes = 28;

constexpr std::size_t kSegmentSpan = std::size_t(1) << 21;  // 2 MiB, 32 blocks
constexpr std::size_t kPartSpan = 2 * kSegmentSpan;         // 4 MiB: costs ~0.1 % in size

// Parts of an output of `size` bytes: ceil(size / kPartSpan), 0 for none.
constexpr std::size_t PartCount(std::uint64_t size)
{
    return std::size_t(size / kPartSpan + (size % kPartSpan != 0 ? 1 : 0));
}

struct Compressor;
struct Decompressor;

// ---- Buffer mode -----------------------------------------------------------

// Creates a decompressor; false for any algorithm but 4 or when out of memory.
bool CreateDecompressor(std::uint32_t algorithm, Decompressor** handle);

// Decodes one buffer-mode stream of exactly compressedSize bytes.  On success
// writes exactly the recorded uncompressed size to output and *outputSize.
// Returns false for a bad header, a size above outputCapacity, or a truncated
// or corrupt stream; the output is then zeroed up to the recorded size (when
// that fits) and *outputSize is 0.
bool Decompress(Decompressor* handle, const void* compressed, std::size_t compressedSize, void* output,
                std::size_t outputCapacity, std::size_t* outputSize);

void CloseDecompressor(Decompressor* handle);

// The raw stream inside a buffer-mode stream of compressedSize bytes (its
// length is compressedSize - kBufferHeaderBytes) and its recorded size; null
// for a bad header.
const void* RawStream(const void* compressed, std::size_t compressedSize, std::uint64_t* size);

// Creates a compressor for algorithm 4 at `level` (kFastestLevel..
// kStrongestLevel); false for anything else or when out of memory.
bool CreateCompressor(std::uint32_t algorithm, int level, Compressor** handle);

// Worst-case size of a buffer-mode stream for inputSize bytes.
std::size_t CompressBound(std::size_t inputSize);

// Writes a buffer-mode stream.  False when outputCapacity is too small (never
// with CompressBound(inputSize)), when inputSize exceeds 2^32 - 1 (the block
// length field is 32 bits) or when out of memory.
bool Compress(Compressor* handle, const void* input, std::size_t inputSize, void* output, std::size_t outputCapacity,
              std::size_t* compressedSize);

void CloseCompressor(Compressor* handle);

// ---- Raw stream ------------------------------------------------------------

// The raw-stream functions return the first six.  The last two belong to
// callers that frame a raw stream or allocate for it, so that no result
// stands in for another's meaning.
enum class DecodeResult {
    kSuccess,    // exactly the requested number of bytes decoded
    kTruncated,  // the stream ended before the output was complete
    kBadTable,   // a code-length table is over-subscribed, incomplete or empty
    kBadLength,  // a length escape is malformed or a match runs past the output's end
    kBadOffset,  // a match reaches before the start of the output
    kStopped,    // the receiver of the output asked to stop (DecompressRawThrough)
    kBadHeader,  // a buffer-mode header is malformed or disagrees with the sizes its caller knows
    kNoMemory,   // a decompressor or a window could not be allocated
};

// Short lowercase text for a result, e.g. "truncated stream".
const char* DecodeResultText(DecodeResult result);

// Decodes a raw stream into exactly outputSize bytes.  Trailing input after
// the output is complete is ignored.  On failure the output is meaningless.
DecodeResult DecompressRaw(Decompressor* handle, const void* compressed, std::size_t compressedSize, void* output,
                           std::size_t outputSize);

// Receives decoded bytes in order; false stops the decoding.
using DecodeSink = bool (*)(void* context, const void* bytes, std::size_t size);

// Longest match the compressor writes; the format allows far longer ones.
constexpr std::size_t kMaxEncodeMatchLength = std::size_t(1) << 18;

// Room a window needs beside its parts: the 64 KiB a match reaches back, and
// one block with the longest match the compressor writes running past it.
constexpr std::size_t kWindowOverhead = 65536 + 65536 + kMaxEncodeMatchLength;

// DecompressRaw through a window instead of the whole output, so that memory
// stays the window's whatever the output's size: each piece decoded goes to
// sink, whole blocks at a time, and the window is reused.  With windowSize at
// least kWindowOverhead plus the piece size wanted, every stream the
// compressor writes gives DecompressRaw's result; but kBadLength can also
// mean that a longer match of another encoder did not fit what was left of
// the window, and only DecompressRaw decides.  On any failure the bytes the
// sink received are still the output's first bytes.  On success *consumed
// (when given) is the number of stream bytes the output took: where a block
// after it would begin, e.g. the next part of a compressor's stream.
DecodeResult DecompressRawThrough(Decompressor* handle, const void* compressed, std::size_t compressedSize,
                                  std::size_t outputSize, void* window, std::size_t windowSize, DecodeSink sink,
                                  void* context, std::size_t* consumed = nullptr);

// The result DecompressRaw would give for outputSize bytes, found without
// writing them: whether a stream decodes does not depend on the bytes it
// produces.  Takes time linear in compressedSize whatever outputSize is, so
// a size the stream cannot produce is refused before any allocation.
DecodeResult CheckRaw(Decompressor* handle, const void* compressed, std::size_t compressedSize, std::size_t outputSize);

// Worst-case raw stream size for inputSize bytes.
std::size_t CompressRawBound(std::size_t inputSize);

// Writes a raw stream (empty for empty input).  False when outputCapacity is
// too small or when out of memory.
bool CompressRaw(Compressor* handle, const void* input, std::size_t inputSize, void* output, std::size_t outputCapacity,
                 std::size_t* compressedSize);

// Where the parts after the first begin in the raw stream that the last
// CompressRaw call wrote, in bytes from its start (for Compress: from the raw
// stream's start, kBufferHeaderBytes into the buffer): PartCount(inputSize) - 1
// offsets, in *count.
const std::size_t* CompressedPartStarts(const Compressor* handle, std::size_t* count);

// The level a compressor was created with.
int CompressorLevel(const Compressor* handle);

// Threads that later Compress and CompressRaw calls use (1 when the handle is
// made; 0: one per core).  The output does not depend on it.
void SetCompressorThreads(Compressor* handle, unsigned threads);

// Called on the calling thread of Compress and CompressRaw after each
// segment, with the input bytes done so far and the input's size.
using CompressProgress = void (*)(void* context, std::size_t done, std::size_t total);
void SetCompressorProgress(Compressor* handle, CompressProgress progress, void* context);

}  // namespace xpress
