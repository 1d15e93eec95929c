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

// Writes the bytes as the new file newPath.  A write that fails or stores
// fewer bytes (a full disk) removes what it wrote.
bool WriteNewFile(const char* newPath, const void* bytes, DWORD size)
{
    HANDLE file = CreateFileA(newPath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, bytes, size, &written, nullptr);  // the count alone decides
    CloseHandle(file);
    if (written == size)
        return true;
    DeleteFileA(newPath);
    return false;
}

}  // namespace

bool ExtractPayloadEntryFrom(const std::uint32_t* container, std::size_t containerWords,
                             std::uint32_t index, const char* targetPath)
{
    payload::EntryView entry;
    if (!payload::LocateEntry(container, containerWords, index, &entry))
        return false;

    // The stream is decoded where it lies, in the program's read-only data; a
    // copy of it on the heap would cost a pass over it and as much memory again.
    HeapBuffer output(entry.uncompressedSize);
    if (output.data() == nullptr)
        return false;
    // Decode before anything is written: a stream that does not decode touches
    // no file.  The old file at the path goes only when the new one is whole.
    char newPath[kPathCapacity];
    return payload::DecodeEntry(entry, entry.body, output.data()) &&
           ReplacementPath(targetPath, newPath) &&
           WriteNewFile(newPath, output.data(), entry.uncompressedSize) &&
           PutInPlace(newPath, targetPath);
}

bool ExtractPayloadEntry(std::uint32_t index, const char* targetPath)
{
    return ExtractPayloadEntryFrom(PayloadContainer, PayloadContainerWords, index, targetPath);
}
