#include "payload/extract.h"

#include "core/replacement_file.h"
#include "payload/container.h"
#include "payload/embedded_container.h"

#include <windows.h>

namespace {

// A block from the process heap, freed when it goes out of scope.
class HeapBuffer {
public:
    explicit HeapBuffer(std::size_t size) : data_(HeapAlloc(GetProcessHeap(), 0, size)) {}
    ~HeapBuffer()
    {
        if (data_ != nullptr)
            HeapFree(GetProcessHeap(), 0, data_);
    }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    void* data() const { return data_; }

private:
    void* data_;
};

// Decoded pieces of this size at a time: the whole output never lies in
// memory, and the window, reused, is touched once.
constexpr std::size_t kWindowBytes = xpress::kWindowOverhead + (std::size_t(1) << 20);

// Parts decode on at most this many threads, each with a window of its own.
constexpr DWORD kMaxDecodeThreads = 4;

// Where decoded pieces go: the new file, at `offset` and on.
struct FileSink {
    HANDLE file;
    std::uint64_t offset;
};

// Writes a decoded piece at the sink's offset.  Only the count decides: a full
// disk stores fewer bytes.
bool WritePiece(void* context, const void* bytes, std::size_t size)
{
    FileSink& sink = *static_cast<FileSink*>(context);
    OVERLAPPED at = {};
    at.Offset = DWORD(sink.offset);
    at.OffsetHigh = DWORD(sink.offset >> 32);
    DWORD written = 0;
    WriteFile(sink.file, bytes, DWORD(size), &written, &at);
    sink.offset += written;
    return written == size;
}

// The parts of one entry, taken one at a time by each decoding thread.
struct PartJob {
    const std::uint8_t* raw;      // the entry's raw stream
    std::size_t rawSize;
    const std::uint32_t* starts;  // where the parts after the first begin in it
    std::size_t parts;
    std::uint32_t size;           // the entry's uncompressed size
    HANDLE file;
    volatile LONG next;           // the next part to take
    volatile LONG decoded;        // parts decoded, written and checked
    volatile LONG failed;         // a part failed: the others stop
    volatile LONG writeFailed;    // a write fell short: no decoding can mend that
};

// The part index is a hint: it must rise and stay inside the stream.
bool PartStartsFit(const PartJob& job)
{
    std::size_t previous = 0;
    for (std::size_t k = 0; k + 1 < job.parts; ++k) {
        if (job.starts[k] <= previous || job.starts[k] >= job.rawSize)
            return false;
        previous = job.starts[k];
    }
    return true;
}

// Decodes parts until none is left.  Each part's matches stay inside it, so it
// decodes through this thread's own window from where it begins; and it must
// end exactly where the next begins, which chains every part to the stream's
// start: the file is then the one the whole stream decodes to.  A thread that
// cannot have its window takes no part, and the parts left undone make the
// caller decode the stream whole.
DWORD WINAPI DecodeParts(void* context)
{
    PartJob& job = *static_cast<PartJob*>(context);
    HeapBuffer window(kWindowBytes);
    xpress::Decompressor* decompressor = nullptr;
    if (window.data() == nullptr || !xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &decompressor))
        return 0;
    for (;;) {
        const std::size_t k = std::size_t(InterlockedIncrement(&job.next) - 1);
        if (k >= job.parts || job.failed != 0)
            break;
        const std::size_t begin = k == 0 ? 0 : job.starts[k - 1];
        const std::size_t end = k + 1 < job.parts ? job.starts[k] : job.rawSize;
        const std::uint64_t first = std::uint64_t(k) * xpress::kPartSpan;
        const std::size_t size = std::size_t(job.size - first < xpress::kPartSpan ? job.size - first : xpress::kPartSpan);
        FileSink sink = {job.file, first};
        std::size_t consumed = 0;
        const xpress::DecodeResult result =
            xpress::DecompressRawThrough(decompressor, job.raw + begin, job.rawSize - begin, size, window.data(),
                                         kWindowBytes, WritePiece, &sink, &consumed);
        if (result != xpress::DecodeResult::kSuccess || (k + 1 < job.parts && consumed != end - begin)) {
            if (result == xpress::DecodeResult::kStopped)
                InterlockedExchange(&job.writeFailed, 1);
            InterlockedExchange(&job.failed, 1);
            break;
        }
        InterlockedIncrement(&job.decoded);
    }
    xpress::CloseDecompressor(decompressor);
    return 0;
}

// Decodes the entry part by part on as many threads as there are processors
// (and parts, up to kMaxDecodeThreads), each writing at its part's place in
// the file.  kSuccess when every part was; kStopped when a write fell short;
// otherwise another failure, after which only a decoding of the whole stream
// decides.
xpress::DecodeResult DecodeInParts(const payload::EntryView& entry, const std::uint32_t* starts, HANDLE file)
{
    std::uint64_t size = 0;
    const void* const raw = xpress::RawStream(entry.body, entry.compressedSize, &size);
    PartJob job = {};
    job.parts = xpress::PartCount(entry.uncompressedSize);
    if (raw == nullptr || size != entry.uncompressedSize || job.parts < 2)
        return xpress::DecodeResult::kTruncated;
    job.raw = static_cast<const std::uint8_t*>(raw);
    job.rawSize = entry.compressedSize - xpress::kBufferHeaderBytes;
    job.starts = starts;
    job.size = entry.uncompressedSize;
    job.file = file;
    if (!PartStartsFit(job))
        return xpress::DecodeResult::kBadOffset;

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD threads = system.dwNumberOfProcessors;
    threads = threads < kMaxDecodeThreads ? threads : kMaxDecodeThreads;
    threads = threads < job.parts ? threads : DWORD(job.parts);
    HANDLE helpers[kMaxDecodeThreads - 1];
    DWORD started = 0;
    while (started + 1 < threads) {
        helpers[started] = CreateThread(nullptr, 0, DecodeParts, &job, 0, nullptr);
        if (helpers[started] == nullptr)
            break;  // fewer threads do the same work
        ++started;
    }
    DecodeParts(&job);
    if (started != 0)
        WaitForMultipleObjects(started, helpers, TRUE, INFINITE);
    for (DWORD i = 0; i < started; ++i)
        CloseHandle(helpers[i]);
    if (job.writeFailed != 0)
        return xpress::DecodeResult::kStopped;
    return std::size_t(job.decoded) == job.parts ? xpress::DecodeResult::kSuccess : xpress::DecodeResult::kBadOffset;
}

// Decodes the stream whole from its start.  A match longer than our packer
// writes (or a corrupt one) fails in the window: then a window of the whole
// output decides, and the file is written again from its start.
xpress::DecodeResult DecodeWhole(const payload::EntryView& entry, HANDLE file)
{
    xpress::DecodeResult result = xpress::DecodeResult::kBadLength;
    for (std::size_t windowBytes = kWindowBytes; result == xpress::DecodeResult::kBadLength;
         windowBytes = entry.uncompressedSize) {
        HeapBuffer window(windowBytes);
        if (window.data() == nullptr)
            break;
        FileSink sink = {file, 0};
        result = payload::DecodeEntryThrough(entry, entry.body, window.data(), windowBytes, WritePiece, &sink);
        if (windowBytes >= entry.uncompressedSize)
            break;
    }
    return result;
}

}  // namespace

bool ExtractPayloadEntryFrom(const std::uint32_t* container, std::size_t containerWords,
                             const std::uint32_t* partIndex, std::size_t partIndexWords, std::uint32_t index,
                             const char* targetPath)
{
    payload::EntryView entry;
    char newPath[kPathCapacity];
    if (!payload::LocateEntry(container, containerWords, index, &entry) || !ReplacementPath(targetPath, newPath))
        return false;

    HANDLE file = CreateFileA(newPath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // The stream is decoded where it lies, in the program's read-only data; a
    // copy of it on the heap would cost a pass over it and as much memory again.
    // Parts first, when the index names them; a decoding of the whole stream
    // decides when they do not all succeed, unless the disk is full.
    const std::uint32_t* starts = payload::PartStartWords(entry.uncompressedSize) == 0
                                      ? nullptr
                                      : payload::LocatePartStarts(container, containerWords, partIndex,
                                                                  partIndexWords, index);
    xpress::DecodeResult result = starts != nullptr ? DecodeInParts(entry, starts, file)
                                                    : xpress::DecodeResult::kBadOffset;
    if (result != xpress::DecodeResult::kSuccess && result != xpress::DecodeResult::kStopped)
        result = DecodeWhole(entry, file);
    CloseHandle(file);
    // The old file at the path goes only when the new one is whole; a stream
    // that does not decode, or a full disk, leaves no new file either.
    if (result == xpress::DecodeResult::kSuccess)
        return PutInPlace(newPath, targetPath);
    DeleteFileA(newPath);
    return false;
}

bool ExtractPayloadEntry(std::uint32_t index, const char* targetPath)
{
    return ExtractPayloadEntryFrom(PayloadContainer, PayloadContainerWords, PayloadContainerParts,
                                   PayloadContainerPartsWords, index, targetPath);
}
