#include "payload/extract.h"

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

// The one step that touches the target: creates it (replacing a file already
// there) and writes the decoded bytes with one WriteFile.
bool WriteWholeFile(const char* targetPath, const void* bytes, DWORD size)
{
    HANDLE file = CreateFileA(targetPath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, bytes, size, &written, nullptr);  // the count alone decides
    CloseHandle(file);
    return written == size;
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
    // Decode before the target is touched: a stream that does not decode leaves
    // any file already at the path as it was.
    if (!payload::DecodeEntry(entry, entry.body, output.data()))
        return false;
    return WriteWholeFile(targetPath, output.data(), entry.uncompressedSize);
}

bool ExtractPayloadEntry(std::uint32_t index, const char* targetPath)
{
    return ExtractPayloadEntryFrom(PayloadContainer, PayloadContainerWords, index, targetPath);
}
