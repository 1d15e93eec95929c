// Extraction benchmark, run under Wine: ExtractPayloadEntry on a container built
// around a large real executable, against writing the same bytes from memory
// with one WriteFile, and the extraction's peak memory against the entry's
// size.  Times are the median and the least of the rounds: on a machine that
// others share, the least is the steadier figure of what a step costs.
//
//   extraction_bench [ROUNDS]
// Entry 0 of BenchContainer was packed from BENCH_SOURCE (a Windows path).
#include "payload/container.h"
#include "payload/extract.h"

#include "bench/win32_timing.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" const std::uint32_t BenchContainer[];
extern "C" const std::uint64_t BenchContainerWords;
extern "C" const std::uint32_t BenchContainerParts[];
extern "C" const std::uint64_t BenchContainerPartsWords;

namespace {

using bench::Least;
using bench::Median;
using bench::Now;

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

double MiB(double bytes) { return bytes / (1024.0 * 1024.0); }

std::string ReadWholeFile(const char* path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0xFFFFFFFF) {
        bytes.resize(std::size_t(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr) || read != bytes.size())
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

// The baseline: the same bytes, already in memory, written the way the extraction writes them.
bool WriteFromMemory(const char* path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return written == bytes.size();
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string target = std::string(temp) + "extraction-bench.bin";

    payload::EntryView entry;
    if (!payload::LocateEntry(BenchContainer, BenchContainerWords, 0, &entry)) {
        std::fprintf(stderr, "extraction_bench: no entry 0 in the container\n");
        return 1;
    }

    // The first extraction alone decides the peaks: nothing else of that size exists yet.
    const PROCESS_MEMORY_COUNTERS before = Memory();
    const double firstStart = Now();
    if (ExtractPayloadEntryFrom(BenchContainer, BenchContainerWords, BenchContainerParts, BenchContainerPartsWords, 0,
                                target.c_str()) != ERROR_SUCCESS) {
        std::fprintf(stderr, "extraction_bench: extraction failed\n");
        return 1;
    }
    const double first = Now() - firstStart;
    const PROCESS_MEMORY_COUNTERS after = Memory();

    std::vector<double> extraction;
    for (int i = 0; i < rounds; ++i) {
        const double start = Now();
        ExtractPayloadEntryFrom(BenchContainer, BenchContainerWords, BenchContainerParts, BenchContainerPartsWords, 0,
                                target.c_str());
        extraction.push_back(Now() - start);
    }

    const std::string source = ReadWholeFile(BENCH_SOURCE);
    if (source.size() != entry.uncompressedSize || ReadWholeFile(target.c_str()) != source) {
        std::fprintf(stderr, "extraction_bench: the extracted file differs from %s\n", BENCH_SOURCE);
        return 1;
    }
    std::vector<double> writing;
    for (int i = 0; i < rounds; ++i) {
        const double start = Now();
        if (!WriteFromMemory(target.c_str(), source))
            return 1;
        writing.push_back(Now() - start);
    }
    DeleteFileA(target.c_str());

    const double u = entry.uncompressedSize;
    const double c = entry.compressedSize;
    std::printf("extraction: %s\n", BENCH_SOURCE);
    std::printf("  entry 0              %.0f -> %.0f bytes (%.1f%%)\n", u, c, 100.0 * c / u);
    std::printf("  ExtractPayloadEntry  %8.1f ms median, %.1f least of %d (first %.1f ms)  %.0f MB/s of output\n",
                Median(extraction) * 1000, Least(extraction) * 1000, rounds, first * 1000, u / Least(extraction) / 1e6);
    std::printf("  one WriteFile        %8.1f ms median, %.1f least of %d  %.0f MB/s\n", Median(writing) * 1000,
                Least(writing) * 1000, rounds, u / Least(writing) / 1e6);
    std::printf("  ratio                %8.2f x the plain write (medians), %.2f x (least)\n",
                Median(extraction) / Median(writing), Least(extraction) / Least(writing));
    std::printf("  entry's size         %8.1f MiB\n", MiB(u));
    // Under Wine 8 PagefileUsage does not move with heap allocations (seen here),
    // so the working set is the figure that shows the buffer.
    std::printf("  peak working set     %8.1f MiB above the start (%.1f -> %.1f MiB)\n",
                MiB(double(after.PeakWorkingSetSize) - double(before.WorkingSetSize)),
                MiB(double(before.WorkingSetSize)), MiB(double(after.PeakWorkingSetSize)));
    std::printf("  peak pagefile usage  %8.1f MiB above the start (%.1f -> %.1f MiB)\n",
                MiB(double(after.PeakPagefileUsage) - double(before.PagefileUsage)), MiB(double(before.PagefileUsage)),
                MiB(double(after.PeakPagefileUsage)));
    return 0;
}
