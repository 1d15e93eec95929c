#include "payload/extract.h"

#include "core/replacement_file.h"
#include "core/worker_thread.h"
#include "payload/container.h"
#include "payload/embedded_container.h"

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
    WriteProgress* progress;  // may be null
    DWORD error;              // why the last write fell short
};

// Adds bytes written to the payload's count and reports the new total.
void CountWritten(WriteProgress* progress, std::uint64_t bytes)
{
    if (progress != nullptr && progress->report != nullptr)
        progress->report(progress->context,
                         std::uint64_t(InterlockedExchangeAdd64(&progress->written, LONG64(bytes))) + bytes,
                         progress->total);
}

// Writes a decoded piece at the sink's offset.  Only the count decides: a full
// disk stores fewer bytes.
bool WritePiece(void* context, const void* bytes, std::size_t size)
{
    FileSink& sink = *static_cast<FileSink*>(context);
    OVERLAPPED at = {};
    at.Offset = DWORD(sink.offset);
    at.OffsetHigh = DWORD(sink.offset >> 32);
    DWORD written = 0;
    if (!WriteFile(sink.file, bytes, DWORD(size), &written, &at))
        sink.error = GetLastError();
    else if (written != size)
        sink.error = ERROR_DISK_FULL;
    sink.offset += written;
    CountWritten(sink.progress, written);
    return written == size;
}

// The parts of one entry, taken one at a time by each decoding thread.
struct PartJob {
    const std::uint8_t* raw;  // the entry's raw stream
    std::size_t rawSize;
    const std::uint32_t* starts;  // where the parts after the first begin in it
    std::size_t parts;
    std::uint32_t size;  // the entry's uncompressed size
    HANDLE file;
    WriteProgress* progress;
    volatile LONG next;        // the next part to take
    volatile LONG decoded;     // parts decoded, written and checked
    volatile LONG failed;      // a part failed: the others stop
    volatile LONG writeError;  // a write fell short, and why: no decoding can mend that
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
        const std::size_t size =
            std::size_t(job.size - first < xpress::kPartSpan ? job.size - first : xpress::kPartSpan);
        FileSink sink = {job.file, first, job.progress, ERROR_SUCCESS};
        std::size_t consumed = 0;
        const xpress::DecodeResult result =
            xpress::DecompressRawThrough(decompressor, job.raw + begin, job.rawSize - begin, size, window.data(),
                                         kWindowBytes, WritePiece, &sink, &consumed);
        if (result != xpress::DecodeResult::kSuccess || (k + 1 < job.parts && consumed != end - begin)) {
            if (result == xpress::DecodeResult::kStopped)
                InterlockedExchange(&job.writeError, LONG(sink.error));
            InterlockedExchange(&job.failed, 1);
            break;
        }
        InterlockedIncrement(&job.decoded);
    }
    xpress::CloseDecompressor(decompressor);
    return 0;
}

// What became of an entry decoded in parts.
enum class PartsOutcome {
    kWritten,      // every part decoded and written at its place
    kWriteFailed,  // a write fell short (the job's writeError says why)
    kUndone,       // no usable part index, or a part failed: decode the stream whole
};

// Decodes the entry part by part on as many threads as there are processors
// (and parts, up to kMaxDecodeThreads), each writing at its part's place in
// the file.
PartsOutcome DecodeInParts(const payload::EntryView& entry, const std::uint32_t* starts, PartJob& job)
{
    std::uint64_t size = 0;
    const void* const raw = xpress::RawStream(entry.body, entry.compressedSize, &size);
    job.parts = xpress::PartCount(entry.uncompressedSize);
    if (starts == nullptr || raw == nullptr || size != entry.uncompressedSize || job.parts < 2)
        return PartsOutcome::kUndone;
    job.raw = static_cast<const std::uint8_t*>(raw);
    job.rawSize = entry.compressedSize - xpress::kBufferHeaderBytes;
    job.starts = starts;
    job.size = entry.uncompressedSize;
    if (!PartStartsFit(job))
        return PartsOutcome::kUndone;

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD threads = system.dwNumberOfProcessors;
    threads = threads < kMaxDecodeThreads ? threads : kMaxDecodeThreads;
    threads = threads < job.parts ? threads : DWORD(job.parts);
    HANDLE helpers[kMaxDecodeThreads - 1] = {};
    for (DWORD i = 0; i + 1 < threads; ++i)
        helpers[i] = StartWorker(DecodeParts, &job);  // one that cannot start takes its parts at once
    DecodeParts(&job);
    for (HANDLE helper : helpers)
        JoinWorker(helper);
    if (job.writeError != ERROR_SUCCESS)
        return PartsOutcome::kWriteFailed;
    return std::size_t(job.decoded) == job.parts ? PartsOutcome::kWritten : PartsOutcome::kUndone;
}

// Decodes the stream whole from its start.  A match longer than our packer
// writes (or a corrupt one) fails in the window: then a window of the whole
// output decides, and the file is written again from its start.  The Win32
// error of the outcome: ERROR_INVALID_DATA for a stream that does not decode.
// This road is the rare one, so its bytes count as written once all are.
DWORD DecodeWhole(const payload::EntryView& entry, HANDLE file, WriteProgress* progress)
{
    xpress::DecodeResult result = xpress::DecodeResult::kBadLength;
    for (std::size_t windowBytes = kWindowBytes; result == xpress::DecodeResult::kBadLength;
         windowBytes = entry.uncompressedSize) {
        HeapBuffer window(windowBytes);
        if (window.data() == nullptr)
            return ERROR_NOT_ENOUGH_MEMORY;
        FileSink sink = {file, 0, nullptr, ERROR_SUCCESS};
        result = payload::DecodeEntryThrough(entry, entry.body, window.data(), windowBytes, WritePiece, &sink);
        if (result == xpress::DecodeResult::kStopped)
            return sink.error;
        if (windowBytes >= entry.uncompressedSize)
            break;
    }
    if (result == xpress::DecodeResult::kNoMemory)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (result != xpress::DecodeResult::kSuccess)
        return ERROR_INVALID_DATA;
    CountWritten(progress, entry.uncompressedSize);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ExtractPayloadEntryFrom(const std::uint32_t* container, std::size_t containerWords,
                              const std::uint32_t* partIndex, std::size_t partIndexWords, std::uint32_t index,
                              const char* targetPath, WriteProgress* progress, InUse inUse)
{
    payload::EntryView entry;
    char newPath[kPathCapacity];
    if (!payload::LocateEntry(container, containerWords, index, &entry))
        return ERROR_INVALID_DATA;
    if (!ReplacementPath(targetPath, newPath))
        return ERROR_FILENAME_EXCED_RANGE;

    HANDLE file =
        CreateFileA(newPath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    // The stream is decoded where it lies, in the program's read-only data; a
    // copy of it on the heap would cost a pass over it and as much memory again.
    // Parts first, when the index names them; a decoding of the whole stream
    // decides when they do not all succeed, unless the disk is full.
    const std::uint32_t* starts =
        payload::PartStartWords(entry.uncompressedSize) == 0
            ? nullptr
            : payload::LocatePartStarts(container, containerWords, partIndex, partIndexWords, index);
    PartJob job = {};
    job.file = file;
    job.progress = progress;
    const LONG64 writtenBefore = progress != nullptr ? progress->written : 0;
    DWORD error = ERROR_SUCCESS;
    switch (DecodeInParts(entry, starts, job)) {
    case PartsOutcome::kWritten:
        break;
    case PartsOutcome::kWriteFailed:
        error = DWORD(job.writeError);
        break;
    case PartsOutcome::kUndone:
        if (progress != nullptr)
            InterlockedExchange64(&progress->written, writtenBefore);  // the parts that did count are written again
        error = DecodeWhole(entry, file, progress);
        break;
    }
    if (error == ERROR_SUCCESS)
        error = FlushBeforeReplacing(file, targetPath);
    CloseHandle(file);
    // The old file at the path goes only when the new one is whole; a stream
    // that does not decode, or a full disk, leaves no new file either.
    if (error == ERROR_SUCCESS)
        return PutInPlace(newPath, targetPath, inUse);
    DeleteFileA(newPath);
    return error;
}

std::uint64_t PayloadEntrySize(std::uint32_t index)
{
    payload::EntryView entry;
    return payload::LocateEntry(PayloadContainer, PayloadContainerWords, index, &entry) ? entry.uncompressedSize : 0;
}

DWORD ExtractPayloadEntry(std::uint32_t index, const char* targetPath, WriteProgress* progress, InUse inUse)
{
    return ExtractPayloadEntryFrom(PayloadContainer, PayloadContainerWords, PayloadContainerParts,
                                   PayloadContainerPartsWords, index, targetPath, progress, inUse);
}
