#include "install/running_image.h"

#include <windows.h>

#include <cstring>

// The linker's name for the image's first byte; of no size known here, since
// the headers and sections lie beyond the DOS header it begins with.
extern "C" const std::uint8_t __ImageBase[];

namespace {

const std::uint8_t* const base = __ImageBase;

const IMAGE_DOS_HEADER& DosHeader() { return *reinterpret_cast<const IMAGE_DOS_HEADER*>(base); }

// The writable sections as the loader left them, taken by the TLS callback
// below: the C runtime's start and the program change them later.
std::uint8_t* pristine = nullptr;

const IMAGE_NT_HEADERS64* Headers() { return reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + DosHeader().e_lfanew); }

const IMAGE_SECTION_HEADER* Sections() { return IMAGE_FIRST_SECTION(Headers()); }

bool IsWritable(const IMAGE_SECTION_HEADER& section) { return (section.Characteristics & IMAGE_SCN_MEM_WRITE) != 0; }

std::size_t MappedRawSize(const IMAGE_SECTION_HEADER& section)
{
    return section.SizeOfRawData < section.Misc.VirtualSize ? section.SizeOfRawData : section.Misc.VirtualSize;
}

void NTAPI TakePristineCopy(void*, DWORD reason, void*)
{
    if (reason != DLL_PROCESS_ATTACH || pristine != nullptr)
        return;
    const IMAGE_SECTION_HEADER* sections = Sections();
    std::size_t size = 0;
    for (WORD i = 0; i < Headers()->FileHeader.NumberOfSections; ++i)
        size += IsWritable(sections[i]) ? MappedRawSize(sections[i]) : 0;
    // Into locals first: the two variables may lie in a section being copied.
    auto* copy = static_cast<std::uint8_t*>(HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1));
    if (copy == nullptr)
        return;
    std::size_t copied = 0;
    for (WORD i = 0; i < Headers()->FileHeader.NumberOfSections; ++i) {
        if (IsWritable(sections[i])) {
            std::memcpy(copy + copied, base + sections[i].VirtualAddress, MappedRawSize(sections[i]));
            copied += MappedRawSize(sections[i]);
        }
    }
    pristine = copy;
}

// Run by the loader before the program's entry point.
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK pristineCopyCallback = TakePristineCopy;

// The difference between where the image lies and where its file says it
// lies, known once the file's headers have been read.
std::int64_t relocationDelta = 0;
bool headersMatched = false;

constexpr std::size_t kImageBaseOffset = offsetof(IMAGE_NT_HEADERS64, OptionalHeader.ImageBase);

// Whether [rva, end) reaches into the import address table, whose entries the
// loader fills in.  Without that directory, any range may.
bool TouchesImportAddresses(std::uint32_t rva, std::uint64_t end)
{
    const IMAGE_DATA_DIRECTORY& addresses = Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    return addresses.Size == 0 || (addresses.VirtualAddress < end && addresses.VirtualAddress + addresses.Size > rva);
}

// Whether [rva, end) reaches into the page of a block of relocations, or the
// 8 bytes a value at its end takes.
bool TouchesPage(const IMAGE_BASE_RELOCATION& block, std::uint32_t rva, std::uint64_t end)
{
    return block.VirtualAddress < end && block.VirtualAddress + 4096 + 8 > rva;
}

// Hands each block of the image's relocations to visit(block) until it returns
// true; false when a block is malformed.
template <typename Visit>
bool ForEachRelocationBlock(Visit visit)
{
    const IMAGE_DATA_DIRECTORY& relocations = Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    for (std::uint32_t at = 0; at + sizeof(IMAGE_BASE_RELOCATION) <= relocations.Size;) {
        const auto& block = *reinterpret_cast<const IMAGE_BASE_RELOCATION*>(base + relocations.VirtualAddress + at);
        if (block.SizeOfBlock < sizeof block)
            return false;
        if (visit(block))
            return true;
        at += block.SizeOfBlock;
    }
    return true;
}

// The file's bytes of the image for [rva, rva + size) of `section`, whose
// bytes as the loader left them lie at `source`: its relocations undone and
// the import address table as the file holds it (each entry equal to its
// lookup entry, which the loader leaves alone).
void ExpectedSectionBytes(const IMAGE_SECTION_HEADER& section, const std::uint8_t* source, std::uint32_t rva,
                          std::size_t size, std::uint8_t* expected)
{
    const std::uint32_t mapped = std::uint32_t(MappedRawSize(section));
    const std::uint64_t end = std::uint64_t(rva) + size;
    std::memcpy(expected, source + (rva - section.VirtualAddress), size);
    // A relocated value as the loader left it, which may begin before the range.
    auto loaded = [&](std::uint32_t at, int width) {
        std::uint64_t value = 0;
        for (int k = 0; k < width; ++k) {
            std::uint32_t within = at + k - section.VirtualAddress;
            value |= std::uint64_t(within < mapped ? source[within] : 0) << (8 * k);
        }
        return value;
    };
    auto patch = [&](std::uint32_t at, std::uint64_t value, std::size_t width) {
        for (std::size_t k = 0; k < width; ++k) {
            std::uint64_t byteRva = std::uint64_t(at) + k;
            if (byteRva >= rva && byteRva < end)
                expected[byteRva - rva] = std::uint8_t(value >> (8 * k));
        }
    };
    if (relocationDelta != 0) {
        ForEachRelocationBlock([&](const IMAGE_BASE_RELOCATION& block) {
            if (!TouchesPage(block, rva, end))
                return false;
            const auto* entries = reinterpret_cast<const WORD*>(&block + 1);
            for (std::size_t e = 0; e < (block.SizeOfBlock - sizeof block) / 2; ++e) {
                const std::uint32_t at = block.VirtualAddress + (entries[e] & 0xFFF);
                const int type = entries[e] >> 12;
                if (at + 8 <= rva || at >= end)
                    continue;
                if (type == IMAGE_REL_BASED_DIR64)
                    patch(at, loaded(at, 8) - std::uint64_t(relocationDelta), 8);
                else if (type == IMAGE_REL_BASED_HIGHLOW)
                    patch(at, std::uint32_t(loaded(at, 4) - std::uint64_t(relocationDelta)), 4);
            }
            return false;
        });
    }
    if (!TouchesImportAddresses(rva, end))
        return;
    const IMAGE_DATA_DIRECTORY& imports = Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (std::uint32_t at = imports.VirtualAddress; imports.Size != 0; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at);
        if (descriptor->Name == 0 || descriptor->OriginalFirstThunk == 0)
            break;
        const auto* lookup = reinterpret_cast<const std::uint64_t*>(base + descriptor->OriginalFirstThunk);
        for (std::uint32_t k = 0; lookup[k] != 0; ++k)
            patch(descriptor->FirstThunk + 8 * k, lookup[k], 8);
    }
}

// Whether the loader may have changed a byte of [rva, rva + size): a page it
// relocated, or the import address table.  A malformed list of relocations
// counts as touching everything.
bool IsChangedByTheLoader(std::uint32_t rva, std::size_t size)
{
    const std::uint64_t end = std::uint64_t(rva) + size;
    if (TouchesImportAddresses(rva, end))
        return true;
    if (relocationDelta == 0)
        return false;
    bool touched = false;
    const bool wellFormed = ForEachRelocationBlock([&](const IMAGE_BASE_RELOCATION& block) {
        touched = TouchesPage(block, rva, end);
        return touched;
    });
    return touched || !wellFormed;
}

// The headers: as in memory, but for the image base, which the loader may
// have set to where it put the image.  Its bytes may come in several reads.
bool MatchHeaderBytes(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size)
{
    static std::uint8_t fileBase[8];
    const std::size_t field = DosHeader().e_lfanew + kImageBaseOffset;
    for (std::size_t k = 0; k < size; ++k) {
        const std::uint64_t at = offset + k;
        if (at < field || at >= field + 8) {
            if (bytes[k] != base[at])
                return false;
            continue;
        }
        fileBase[at - field] = bytes[k];
        if (at != field + 7)
            continue;
        std::uint64_t value = 0;
        std::memcpy(&value, fileBase, 8);
        const std::uint64_t headerBase = Headers()->OptionalHeader.ImageBase;
        const std::uint64_t actualBase = reinterpret_cast<std::uint64_t>(base);
        if (value != headerBase && headerBase != actualBase)
            return false;
        relocationDelta = std::int64_t(actualBase - value);
        headersMatched = true;
    }
    return true;
}

// Where in the pristine copy a writable section's bytes lie.
const std::uint8_t* PristineBytes(WORD index)
{
    std::size_t at = 0;
    const IMAGE_SECTION_HEADER* sections = Sections();
    for (WORD i = 0; i < index; ++i)
        at += IsWritable(sections[i]) ? MappedRawSize(sections[i]) : 0;
    return pristine + at;
}

// The file's end: its sections' raw data, then its signature, if any.
std::uint64_t FileEnd()
{
    std::uint64_t end = Headers()->OptionalHeader.SizeOfHeaders;
    const IMAGE_SECTION_HEADER* sections = Sections();
    for (WORD i = 0; i < Headers()->FileHeader.NumberOfSections; ++i) {
        std::uint64_t sectionEnd = std::uint64_t(sections[i].PointerToRawData) + sections[i].SizeOfRawData;
        end = sections[i].SizeOfRawData != 0 && sectionEnd > end ? sectionEnd : end;
    }
    const IMAGE_DATA_DIRECTORY& signature = Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    std::uint64_t signatureEnd = std::uint64_t(signature.VirtualAddress) + signature.Size;  // a file offset
    return signature.Size != 0 && signatureEnd > end ? signatureEnd : end;
}

// One byte range of the file that lies in one region: the headers, a
// section's mapped bytes, its padding (zeros), the signature (as it stands),
// or the gap before the signature (zeros).
bool MatchRange(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size)
{
    const IMAGE_OPTIONAL_HEADER64& optional = Headers()->OptionalHeader;
    if (offset < optional.SizeOfHeaders)
        return MatchHeaderBytes(offset, bytes, size);
    const IMAGE_SECTION_HEADER* sections = Sections();
    for (WORD i = 0; i < Headers()->FileHeader.NumberOfSections; ++i) {
        const IMAGE_SECTION_HEADER& section = sections[i];
        if (section.SizeOfRawData == 0 || offset < section.PointerToRawData ||
            offset >= std::uint64_t(section.PointerToRawData) + section.SizeOfRawData)
            continue;
        const std::uint64_t within = offset - section.PointerToRawData;
        if (within >= MappedRawSize(section))
            break;  // padding: zeros, below
        const std::uint8_t* source = IsWritable(section) ? PristineBytes(i) : base + section.VirtualAddress;
        const std::uint32_t rva = std::uint32_t(section.VirtualAddress + within);
        if (!IsChangedByTheLoader(rva, size))  // most of the image: the payload, most code
            return std::memcmp(source + within, bytes, size) == 0;
        std::uint8_t expected[4096];
        ExpectedSectionBytes(section, source, rva, size, expected);
        return std::memcmp(expected, bytes, size) == 0;
    }
    const IMAGE_DATA_DIRECTORY& signature = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    if (signature.Size != 0 && offset >= signature.VirtualAddress)
        return true;
    for (std::size_t k = 0; k < size; ++k)
        if (bytes[k] != 0)
            return false;
    return true;
}

// The next boundary of a region after offset, so that a range never spans two.
std::uint64_t NextBoundary(std::uint64_t offset)
{
    std::uint64_t next = offset + 4096 - offset % 4096;  // ranges fit ExpectedSectionBytes' buffer
    auto consider = [&](std::uint64_t boundary) {
        if (boundary > offset && boundary < next)
            next = boundary;
    };
    consider(Headers()->OptionalHeader.SizeOfHeaders);
    const IMAGE_SECTION_HEADER* sections = Sections();
    for (WORD i = 0; i < Headers()->FileHeader.NumberOfSections; ++i) {
        consider(sections[i].PointerToRawData);
        consider(std::uint64_t(sections[i].PointerToRawData) + MappedRawSize(sections[i]));
        consider(std::uint64_t(sections[i].PointerToRawData) + sections[i].SizeOfRawData);
    }
    consider(Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].VirtualAddress);
    return next;
}

}  // namespace

bool PrepareImageCheck()
{
    return pristine != nullptr && DosHeader().e_magic == IMAGE_DOS_SIGNATURE &&
           Headers()->Signature == IMAGE_NT_SIGNATURE &&
           Headers()->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
}

bool MatchesRunningImage(std::uint64_t offset, const void* bytes, std::size_t size)
{
    const std::uint8_t* data = static_cast<const std::uint8_t*>(bytes);
    const std::uint64_t end = FileEnd();
    if (offset == 0)
        headersMatched = false;  // a new reading
    while (size != 0) {
        if (offset >= end || (offset >= Headers()->OptionalHeader.SizeOfHeaders && !headersMatched))
            return false;
        std::uint64_t boundary = NextBoundary(offset);
        std::size_t part = std::size_t(boundary - offset < size ? boundary - offset : size);
        if (!MatchRange(offset, data, part))
            return false;
        offset += part;
        data += part;
        size -= part;
    }
    return true;
}

bool IsRunningImageSize(std::uint64_t size) { return headersMatched && size == FileEnd(); }
