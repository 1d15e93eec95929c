#include "payload/extract.h"

#include "install/replacement_file.h"
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

// Decoded parts of this size at a time: the whole output never lies in
// memory, and the window, reused, is touched once.
constexpr std::size_t kWindowBytes = xpress::kWindowOverhead + (std::size_t(1) << 20);

// Writes a decoded part to the new file (the context).  Only the count
// decides: a full disk stores fewer bytes.
bool WritePart(void* file, const void* bytes, std::size_t size)
{
    DWORD written = 0;
    WriteFile(static_cast<HANDLE>(file), bytes, DWORD(size), &written, nullptr);
    return written == size;
}

}  // namespace

bool ExtractPayloadEntryFrom(const std::uint32_t* container, std::size_t containerWords,
                             std::uint32_t index, const char* targetPath)
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
    // A match longer than our packer writes (or a corrupt one) fails in the
    // window: then a window of the whole output decides, and the file is
    // written again from its start.
    xpress::DecodeResult result = xpress::DecodeResult::kBadLength;
    for (std::size_t windowBytes = kWindowBytes; result == xpress::DecodeResult::kBadLength;
         windowBytes = entry.uncompressedSize) {
        HeapBuffer window(windowBytes);
        if (window.data() == nullptr || SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0)
            break;
        result = payload::DecodeEntryThrough(entry, entry.body, window.data(), windowBytes, WritePart, file);
        if (windowBytes >= entry.uncompressedSize)
            break;
    }
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
    return ExtractPayloadEntryFrom(PayloadContainer, PayloadContainerWords, index, targetPath);
}
