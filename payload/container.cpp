#include "payload/container.h"

namespace payload {

bool LocateEntry(const std::uint32_t* container, std::size_t containerWords, std::uint32_t index, EntryView* entry)
{
    if (index >= kEntryCount)
        return false;
    std::size_t word = kFirstEntryWord;
    for (std::uint32_t i = 0;; ++i) {
        if (containerWords < 2 || word > containerWords - 2)
            return false;
        const std::uint32_t compressedSize = container[word];
        const std::uint32_t uncompressedSize = container[word + 1];
        word += 2;
        const std::size_t bodyWords = BodyWords(compressedSize);
        if (bodyWords > containerWords - word)
            return false;
        if (i == index) {
            entry->body = container + word;
            entry->bodyWords = bodyWords;
            entry->compressedSize = compressedSize;
            entry->uncompressedSize = uncompressedSize;
            return true;
        }
        word += bodyWords;
    }
}

const std::uint32_t* LocatePartStarts(const std::uint32_t* container, std::size_t containerWords,
                                      const std::uint32_t* partIndex, std::size_t partIndexWords, std::uint32_t index)
{
    std::size_t first = 0;
    EntryView entry;
    for (std::uint32_t i = 0; i < index; ++i) {
        if (!LocateEntry(container, containerWords, i, &entry))
            return nullptr;
        first += PartStartWords(entry.uncompressedSize);
    }
    if (!LocateEntry(container, containerWords, index, &entry) || first > partIndexWords ||
        PartStartWords(entry.uncompressedSize) > partIndexWords - first)
        return nullptr;
    return partIndex + first;
}

xpress::DecodeResult DecodeEntryThrough(const EntryView& entry, const void* stream, void* window,
                                        std::size_t windowSize, xpress::DecodeSink sink, void* context)
{
    std::uint64_t size = 0;
    const void* const raw = xpress::RawStream(stream, entry.compressedSize, &size);
    if (raw == nullptr || size != entry.uncompressedSize)
        return xpress::DecodeResult::kBadHeader;
    xpress::Decompressor* decompressor = nullptr;
    if (!xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &decompressor))
        return xpress::DecodeResult::kNoMemory;
    const xpress::DecodeResult result = xpress::DecompressRawThrough(
        decompressor, raw, entry.compressedSize - xpress::kBufferHeaderBytes, size, window, windowSize, sink, context);
    xpress::CloseDecompressor(decompressor);
    return result;
}

}  // namespace payload
