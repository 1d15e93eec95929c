// xpress: command-line front end of the codec (host build).
//
//   xpress compress [--level N] [--raw] IN OUT
//   xpress decompress [--raw --size N] IN OUT
//   xpress bench [--tsv] FILE...
//
// Buffer-mode streams by default; --raw for the bare LZ77+Huffman stream,
// whose size must then be given to decompress.  A stream is checked before
// its output is allocated, so a size it cannot produce costs no memory; the
// output file appears only when whole (see output_file.h).  Errors: one line
// naming the file and the problem, exit 1, also when memory runs out.  Usage
// errors: one line naming the argument, then the usage, exit 2.  --help
// prints the usage to standard output.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/output_file.h"
#include "xpress.h"

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: xpress compress [--level N] [--raw] IN OUT\n"
                 "       xpress decompress [--raw --size N] IN OUT\n"
                 "       xpress bench [--tsv] FILE...\n"
                 "levels %d (fastest) to %d (strongest), default %d\n",
                 xpress::kFastestLevel, xpress::kStrongestLevel, xpress::kDefaultLevel);
}

__attribute__((format(printf, 1, 2))) int UsageError(const char* format, ...)
{
    std::fputs("xpress: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    PrintUsage(stderr);
    return kExitUsage;
}

int Fail(const std::string& file, const std::string& problem)
{
    std::fprintf(stderr, "xpress: %s: %s\n", file.c_str(), problem.c_str());
    return kExitError;
}

bool ReadFile(const std::string& path, std::vector<unsigned char>* data, std::string* error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    data->clear();
    unsigned char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), f)) > 0)
        data->insert(data->end(), chunk, chunk + n);
    const bool ok = !std::ferror(f);
    if (!ok)
        *error = "read error";
    std::fclose(f);
    return ok;
}

// An output buffer left uninitialised: zero-filling gigabytes that the codec
// overwrites anyway costs their time and makes them resident.
std::unique_ptr<unsigned char[]> Allocate(std::size_t size)
{
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size]);
}

// Parses a whole decimal number within [min, max].
bool ParseNumber(const char* text, unsigned long long min, unsigned long long max, unsigned long long* value)
{
    if (*text < '0' || *text > '9')
        return false;
    char* end;
    errno = 0;
    *value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && *value >= min && *value <= max;
}

struct Handles {
    xpress::Compressor* compressor = nullptr;
    xpress::Decompressor* decompressor = nullptr;
    ~Handles()
    {
        xpress::CloseCompressor(compressor);
        xpress::CloseDecompressor(decompressor);
    }
};

// Takes IN and OUT from the positional arguments; otherwise a usage error.
int TwoFiles(const char* command, const std::vector<std::string>& files)
{
    if (files.size() > 2)
        return UsageError("unexpected argument '%s'", files[2].c_str());
    if (files.size() < 2)
        return UsageError("%s needs IN and OUT", command);
    return 0;
}

int Compress(int argc, char** argv)
{
    int level = xpress::kDefaultLevel;
    bool raw = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        unsigned long long n;
        if (arg == "--raw") {
            raw = true;
        } else if (arg == "--level") {
            if (i + 1 == argc)
                return UsageError("--level needs a value");
            if (!ParseNumber(argv[++i], xpress::kFastestLevel, xpress::kStrongestLevel, &n))
                return UsageError("--level must be %d to %d, not '%s'", xpress::kFastestLevel, xpress::kStrongestLevel,
                                  argv[i]);
            level = int(n);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '%s'", argv[i]);
        } else {
            files.push_back(arg);
        }
    }
    if (const int status = TwoFiles("compress", files))
        return status;

    std::vector<unsigned char> in;
    std::string error;
    if (!ReadFile(files[0], &in, &error))
        return Fail(files[0], error);
    if (!raw && in.size() > 0xFFFFFFFFull)
        return Fail(files[0], "too large for a buffer-mode stream (4 GiB limit)");
    Handles h;
    if (!xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &h.compressor))
        return Fail(files[0], "out of memory");
    const std::size_t bound = raw ? xpress::CompressRawBound(in.size()) : xpress::CompressBound(in.size());
    const std::unique_ptr<unsigned char[]> out = Allocate(bound);
    if (!out)
        return Fail(files[0], "out of memory");
    std::size_t size;
    const bool ok = raw ? xpress::CompressRaw(h.compressor, in.data(), in.size(), out.get(), bound, &size)
                        : xpress::Compress(h.compressor, in.data(), in.size(), out.get(), bound, &size);
    if (!ok)
        return Fail(files[0], "out of memory");  // the output has its bound, and the size was checked
    if (!WriteOutputFile(files[1], out.get(), size, &error))
        return Fail(files[1], error);
    return 0;
}

unsigned long long LoadLe(const std::vector<unsigned char>& in, std::size_t at, int bytes)
{
    unsigned long long v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | in[at + i];
    return v;
}

// Names what is wrong with a buffer-mode header, or returns "".
std::string HeaderProblem(const std::vector<unsigned char>& in)
{
    static const unsigned char kSignature[4] = {0x0A, 0x51, 0xE5, 0xC0};
    if (in.size() < xpress::kBufferHeaderBytes)
        return "too short for a buffer-mode header";
    if (std::memcmp(in.data(), kSignature, 4) != 0)
        return "not a buffer-mode stream (bad signature)";
    if (LoadLe(in, 4, 2) != 24 || in[7] != xpress::COMPRESS_ALGORITHM_XPRESS_HUFF)
        return "unsupported buffer-mode header";
    if (LoadLe(in, 8, 8) != LoadLe(in, 16, 8))
        return "inconsistent uncompressed sizes in header";
    if (LoadLe(in, 8, 8) > 0xFFFFFFFFull)
        return "uncompressed size in header exceeds 4 GiB";
    if (LoadLe(in, 24, 4) != in.size() - xpress::kBufferHeaderBytes)
        return "size mismatch: header names a " + std::to_string(LoadLe(in, 24, 4)) + "-byte stream, file holds " +
               std::to_string(in.size() - xpress::kBufferHeaderBytes);
    return "";
}

int Decompress(int argc, char** argv)
{
    bool raw = false;
    bool have_size = false;
    unsigned long long size = 0;
    std::vector<std::string> files;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--raw") {
            raw = true;
        } else if (arg == "--size") {
            if (i + 1 == argc)
                return UsageError("--size needs a value");
            if (!ParseNumber(argv[++i], 0, SIZE_MAX, &size))
                return UsageError("--size must be a number of bytes, not '%s'", argv[i]);
            have_size = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '%s'", argv[i]);
        } else {
            files.push_back(arg);
        }
    }
    if (raw && !have_size)
        return UsageError("--raw needs --size N: a raw stream does not record its size");
    if (have_size && !raw)
        return UsageError("--size is for --raw streams; a buffer-mode header records the size");
    if (const int status = TwoFiles("decompress", files))
        return status;

    std::vector<unsigned char> in;
    std::string error;
    if (!ReadFile(files[0], &in, &error))
        return Fail(files[0], error);
    const unsigned char* stream = in.data();
    std::size_t stream_size = in.size();
    if (!raw) {
        const std::string problem = HeaderProblem(in);
        if (!problem.empty())
            return Fail(files[0], problem);
        size = LoadLe(in, 8, 8);
        stream += xpress::kBufferHeaderBytes;
        stream_size -= xpress::kBufferHeaderBytes;
    }
    Handles h;
    if (!xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h.decompressor))
        return Fail(files[0], "out of memory");
    // Before allocating: a stream that cannot produce `size` bytes is refused
    // here, however large the size it claims.
    xpress::DecodeResult r = xpress::CheckRaw(h.decompressor, stream, stream_size, size);
    if (r != xpress::DecodeResult::kSuccess)
        return Fail(files[0], std::string("corrupt stream: ") + xpress::DecodeResultText(r));
    const std::unique_ptr<unsigned char[]> out = Allocate(size);
    if (!out)
        return Fail(files[0], "out of memory for the " + std::to_string(size) + "-byte output");
    r = xpress::DecompressRaw(h.decompressor, stream, stream_size, out.get(), size);
    if (r != xpress::DecodeResult::kSuccess)
        return Fail(files[0], std::string("corrupt stream: ") + xpress::DecodeResultText(r));
    if (!WriteOutputFile(files[1], out.get(), size, &error))
        return Fail(files[1], error);
    return 0;
}

// Process CPU time: the build machine is shared, and wall-clock times of a
// single-threaded loop mostly measure the neighbours.
double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Runs `f` at least once and up to `max_runs` times within about a second;
// returns the best time in seconds.
template <typename F>
double BestTime(int max_runs, F&& f)
{
    double best = 1e300;
    const double start = CpuSeconds();
    for (int run = 0; run < max_runs; run++) {
        const double t0 = CpuSeconds();
        f();
        const double t = CpuSeconds() - t0;
        best = std::min(best, t);
        if (CpuSeconds() - start > 1.0)
            break;
    }
    return best;
}

int Bench(int argc, char** argv)
{
    bool tsv = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--tsv") {
            tsv = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '%s'", argv[i]);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty())
        return UsageError("bench needs at least one FILE");

    Handles h;
    if (!xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &h.decompressor))
        return Fail(files[0], "out of memory");
    for (const std::string& file : files) {
        std::vector<unsigned char> in;
        std::string error;
        if (!ReadFile(file, &in, &error))
            return Fail(file, error);
        std::vector<unsigned char> comp(xpress::CompressRawBound(in.size()));
        std::vector<unsigned char> out(in.size());
        for (int level = xpress::kFastestLevel; level <= xpress::kStrongestLevel; level++) {
            xpress::Compressor* c;
            if (!xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c))
                return Fail(file, "out of memory");
            std::size_t size = 0;
            bool ok = true;
            const double tc = BestTime(
                3, [&] { ok &= xpress::CompressRaw(c, in.data(), in.size(), comp.data(), comp.size(), &size); });
            xpress::CloseCompressor(c);
            if (!ok)
                return Fail(file, "out of memory");
            xpress::DecodeResult r = xpress::DecodeResult::kSuccess;
            const double td = BestTime(
                10, [&] { r = xpress::DecompressRaw(h.decompressor, comp.data(), size, out.data(), out.size()); });
            if (r != xpress::DecodeResult::kSuccess || out != in)
                return Fail(file, "round trip failed at level " + std::to_string(level));
            const double mb = double(in.size()) / 1e6;
            if (tsv) {
                std::printf("%s\t%d\t%zu\t%zu\t%.2f\t%.2f\n", file.c_str(), level, in.size(), size, mb / tc, mb / td);
            } else {
                std::printf("%-40s level %d: %10zu -> %10zu (%6.2f%%)  compress %8.2f MB/s  decompress %8.2f MB/s\n",
                            file.c_str(), level, in.size(), size, in.empty() ? 0.0 : 100.0 * size / in.size(), mb / tc,
                            mb / td);
            }
            std::fflush(stdout);
        }
    }
    return 0;
}

int Run(int argc, char** argv)
{
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage(stdout);
            return 0;
        }
    }
    if (argc < 2)
        return UsageError("no command given");
    const std::string command = argv[1];
    if (command == "compress")
        return Compress(argc - 2, argv + 2);
    if (command == "decompress")
        return Decompress(argc - 2, argv + 2);
    if (command == "bench")
        return Bench(argc - 2, argv + 2);
    return UsageError("unknown command '%s'", argv[1]);
}

}  // namespace

int main(int argc, char** argv)
{
    // The tool's own buffers (the input first) grow with the input; a memory
    // limit ends the run with one line, not an abort.  The codec reports
    // running out as false, which the commands name the same way.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("xpress: out of memory\n", stderr);
        return kExitError;
    }
}
