// libFuzzer: the payload container reader, as ExtractPayloadEntry uses it: find
// each entry by walking the words, copy its body into a working buffer of its
// own size, decode into an output buffer of exactly u bytes.  ASan checks that
// neither the walk nor the decoder reaches outside those buffers.
#include <cstdint>
#include <cstring>
#include <vector>

#include "payload/container.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint32_t> words(size / 4);  // exactly sized: a read past it is caught
    if (!words.empty())
        std::memcpy(words.data(), data, words.size() * 4);
    for (std::uint32_t index : {0u, 1u, 2u}) {
        payload::EntryView entry;
        if (!payload::LocateEntry(words.data(), words.size(), index, &entry))
            continue;
        if (index > 1 || entry.body + entry.bodyWords > words.data() + words.size())
            __builtin_trap();
        if (entry.uncompressedSize > (1u << 24))
            continue;  // bound memory, not coverage
        std::vector<std::uint8_t> working(4 * entry.bodyWords);
        if (!working.empty())
            std::memcpy(working.data(), entry.body, working.size());
        std::vector<std::uint8_t> output(entry.uncompressedSize);
        payload::DecodeEntry(entry, working.data(), output.data());
    }
    return 0;
}
