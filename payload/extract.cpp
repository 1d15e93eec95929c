#include "payload/extract.h"

#include "compression/xpress.h"
#include "payload/container.h"
#include "payload/embedded_container.h"

#include <windows.h>

#include <cstring>

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

// Decodes the entry's stream into output, which holds exactly u bytes.  A stream
// that decodes to any other size counts as corrupt: the file must be the whole
// entry and nothing but it.
bool DecodeEntry(const payload::EntryView& entry, const void* stream, void* output)
{
    xpress::Decompressor* decompressor = nullptr;
    if (!xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &decompressor))
        return false;
    std::size_t decodedSize = 0;
    const bool decoded = xpress::Decompress(decompressor, stream, entry.compressedSize, output,
                                            entry.uncompressedSize, &decodedSize);
    xpress::CloseDecompressor(decompressor);
    return decoded && decodedSize == entry.uncompressedSize;
}

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

    HeapBuffer working(4 * entry.bodyWords);
    HeapBuffer output(entry.uncompressedSize);
    if (working.data() == nullptr || output.data() == nullptr)
        return false;
    std::memcpy(working.data(), entry.body, 4 * entry.bodyWords);

    // Decode before the target is touched: a stream that does not decode leaves
    // any file already at the path as it was.
    if (!DecodeEntry(entry, working.data(), output.data()))
        return false;
    return WriteWholeFile(targetPath, output.data(), entry.uncompressedSize);
}

bool ExtractPayloadEntry(std::uint32_t index, const char* targetPath)
{
    return ExtractPayloadEntryFrom(PayloadContainer, PayloadContainerWords, index, targetPath);
}
