// xpress: command-line front end of the codec (host build).
//
//   xpress compress [--level N] [--raw] IN OUT
//   xpress decompress [--raw --size N] IN OUT
//   xpress bench [--tsv] FILE...
//
// Buffer-mode streams by default; --raw for the bare LZ77+Huffman stream,
// whose size must then be given to decompress.  Errors: one line naming the
// file and the problem, exit 1.  Usage errors: exit 2.
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xpress.h"

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

int Usage() {
    std::fprintf(stderr,
                 "usage: xpress compress [--level N] [--raw] IN OUT\n"
                 "       xpress decompress [--raw --size N] IN OUT\n"
                 "       xpress bench [--tsv] FILE...\n"
                 "levels %d (fastest) to %d (strongest), default %d\n",
                 xpress::kFastestLevel, xpress::kStrongestLevel, xpress::kDefaultLevel);
    return kExitUsage;
}

int Fail(const std::string& file, const std::string& problem) {
    std::fprintf(stderr, "xpress: %s: %s\n", file.c_str(), problem.c_str());
    return kExitError;
}

bool ReadFile(const std::string& path, std::vector<unsigned char>* data, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    data->clear();
    unsigned char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0) data->insert(data->end(), chunk, chunk + n);
    const bool ok = !std::ferror(f);
    if (!ok) *error = "read error";
    std::fclose(f);
    return ok;
}

bool WriteFile(const std::string& path, const unsigned char* data, std::size_t size, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    const bool ok = (size == 0 || std::fwrite(data, 1, size, f) == size) & (std::fclose(f) == 0);
    if (!ok) *error = "write error";
    return ok;
}

// Parses a whole decimal number within [min, max].
bool ParseNumber(const char* text, unsigned long long min, unsigned long long max, unsigned long long* value) {
    if (*text < '0' || *text > '9') return false;
    char* end;
    errno = 0;
    *value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && *value >= min && *value <= max;
}

struct Handles {
    xpress::Compressor* compressor = nullptr;
    xpress::Decompressor* decompressor = nullptr;
    ~Handles() {
        xpress::CloseCompressor(compressor);
        xpress::CloseDecompressor(decompressor);
    }
};

int Compress(int argc, char** argv) {
    int level = xpress::kDefaultLevel;
    bool raw = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        unsigned long long n;
        if (arg == "--raw") {
            raw = true;
        } else if (arg == "--level" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], xpress::kFastestLevel, xpress::kStrongestLevel, &n)) return Usage();
            level = int(n);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return Usage();

    std::vector<unsigned char> in;
    std::string error;
    if (!ReadFile(files[0], &in, &error)) return Fail(files[0], error);
    if (!raw && in.size() > 0xFFFFFFFFull) return Fail(files[0], "too large for a buffer-mode stream (4 GiB limit)");
    Handles h;
    if (!xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &h.compressor))
        return Fail(files[0], "out of memory");
    std::vector<unsigned char> out(raw ? xpress::CompressRawBound(in.size()) : xpress::CompressBound(in.size()));
    std::size_t size;
    const bool ok = raw ? xpress::CompressRaw(h.compressor, in.data(), in.size(), out.data(), out.size(), &size)
                        : xpress::Compress(h.compressor, in.data(), in.size(), out.data(), out.size(), &size);
    if (!ok) return Fail(files[0], "compressed stream does not fit its bound");
    if (!WriteFile(files[1], out.data(), size, &error)) return Fail(files[1], error);
    return 0;
}

// Names why a buffer-mode stream was rejected.
std::string DiagnoseBufferStream(xpress::Decompressor* d, const std::vector<unsigned char>& in) {
    static const unsigned char kSignature[4] = {0x0A, 0x51, 0xE5, 0xC0};
    if (in.size() < xpress::kBufferHeaderBytes) return "too short for a buffer-mode header";
    if (std::memcmp(in.data(), kSignature, 4) != 0) return "not a buffer-mode stream (bad signature)";
    auto le = [&in](std::size_t at, int bytes) {
        unsigned long long v = 0;
        for (int i = bytes - 1; i >= 0; i--) v = v << 8 | in[at + i];
        return v;
    };
    if (le(4, 2) != 24 || in[7] != xpress::COMPRESS_ALGORITHM_XPRESS_HUFF) return "unsupported buffer-mode header";
    if (le(8, 8) != le(16, 8)) return "inconsistent uncompressed sizes in header";
    if (le(24, 4) != in.size() - xpress::kBufferHeaderBytes)
        return "size mismatch: header names a " + std::to_string(le(24, 4)) + "-byte stream, file holds " +
               std::to_string(in.size() - xpress::kBufferHeaderBytes);
    std::vector<unsigned char> scratch(le(8, 8));
    const xpress::DecodeResult r = xpress::DecompressRaw(d, in.data() + xpress::kBufferHeaderBytes,
                                                         in.size() - xpress::kBufferHeaderBytes, scratch.data(),
                                                         scratch.size());
    return std::string("corrupt stream: ") + xpress::DecodeResultText(r);
}

int Decompress(int argc, char** argv) {
    bool raw = false;
    bool have_size = false;
    unsigned long long size = 0;
    std::vector<std::string> files;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--raw") {
            raw = true;
        } else if (arg == "--size" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 0, 0xFFFFFFFFull, &size)) return Usage();
            have_size = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2 || raw != have_size) return Usage();

    std::vector<unsigned char> in;
    std::string error;
    if (!ReadFile(files[0], &in, &error)) return Fail(files[0], error);
    Handles h;
    if (!xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h.decompressor))
        return Fail(files[0], "out of memory");
    std::vector<unsigned char> out;
    if (raw) {
        out.resize(size);
        const xpress::DecodeResult r = xpress::DecompressRaw(h.decompressor, in.data(), in.size(), out.data(), size);
        if (r != xpress::DecodeResult::kSuccess)
            return Fail(files[0], std::string("corrupt stream: ") + xpress::DecodeResultText(r));
    } else {
        if (in.size() >= xpress::kBufferHeaderBytes) {
            unsigned long long recorded = 0;
            for (int i = 7; i >= 0; i--) recorded = recorded << 8 | in[8 + i];
            if (recorded > 0xFFFFFFFFull) return Fail(files[0], "uncompressed size in header exceeds 4 GiB");
            out.resize(recorded);
        }
        std::size_t written;
        if (!xpress::Decompress(h.decompressor, in.data(), in.size(), out.data(), out.size(), &written))
            return Fail(files[0], DiagnoseBufferStream(h.decompressor, in));
    }
    if (!WriteFile(files[1], out.data(), out.size(), &error)) return Fail(files[1], error);
    return 0;
}

// Process CPU time: the build machine is shared, and wall-clock times of a
// single-threaded loop mostly measure the neighbours.
double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Runs `f` at least once and up to `max_runs` times within about a second;
// returns the best time in seconds.
template <typename F>
double BestTime(int max_runs, F&& f) {
    double best = 1e300;
    const double start = CpuSeconds();
    for (int run = 0; run < max_runs; run++) {
        const double t0 = CpuSeconds();
        f();
        const double t = CpuSeconds() - t0;
        best = std::min(best, t);
        if (CpuSeconds() - start > 1.0) break;
    }
    return best;
}

int Bench(int argc, char** argv) {
    bool tsv = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--tsv") {
            tsv = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return Usage();

    Handles h;
    if (!xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h.decompressor))
        return Fail(files[0], "out of memory");
    for (const std::string& file : files) {
        std::vector<unsigned char> in;
        std::string error;
        if (!ReadFile(file, &in, &error)) return Fail(file, error);
        std::vector<unsigned char> comp(xpress::CompressRawBound(in.size()));
        std::vector<unsigned char> out(in.size());
        for (int level = xpress::kFastestLevel; level <= xpress::kStrongestLevel; level++) {
            xpress::Compressor* c;
            if (!xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c))
                return Fail(file, "out of memory");
            std::size_t size = 0;
            bool ok = true;
            const double tc = BestTime(3, [&] {
                ok &= xpress::CompressRaw(c, in.data(), in.size(), comp.data(), comp.size(), &size);
            });
            xpress::CloseCompressor(c);
            if (!ok) return Fail(file, "compressed stream does not fit its bound");
            xpress::DecodeResult r = xpress::DecodeResult::kSuccess;
            const double td = BestTime(10, [&] {
                r = xpress::DecompressRaw(h.decompressor, comp.data(), size, out.data(), out.size());
            });
            if (r != xpress::DecodeResult::kSuccess || out != in)
                return Fail(file, "round trip failed at level " + std::to_string(level));
            const double mb = double(in.size()) / 1e6;
            if (tsv) {
                std::printf("%s\t%d\t%zu\t%zu\t%.2f\t%.2f\n", file.c_str(), level, in.size(), size, mb / tc, mb / td);
            } else {
                std::printf("%-40s level %d: %10zu -> %10zu (%6.2f%%)  compress %8.2f MB/s  decompress %8.2f MB/s\n",
                            file.c_str(), level, in.size(), size, in.empty() ? 0.0 : 100.0 * size / in.size(),
                            mb / tc, mb / td);
            }
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "compress") return Compress(argc - 2, argv + 2);
    if (command == "decompress") return Decompress(argc - 2, argv + 2);
    if (command == "bench") return Bench(argc - 2, argv + 2);
    return Usage();
}
