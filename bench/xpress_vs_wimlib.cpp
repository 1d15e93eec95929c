// Side-by-side benchmark: our XPRESS Huffman codec at each level against
// wimlib's XPRESS codec at levels 50 and 100, on the same bytes, in one run.
//
//   xpress_vs_wimlib [--levels 1,6,9] [--totals-only] [--title T] FILE...
//
// wimlib compresses 64 KiB chunks independently, as WIM does, and a chunk it
// cannot shrink counts at its raw size (WIM stores it).  Ours compresses each
// file as one raw stream.  Compression times are the best of a few runs;
// decompression times the best of several passes that take every coder in
// turn, so that a busy moment of the machine hits all of them alike (MB =
// 10^6 bytes).  Every decompressed output is checked.  Rows per file, each
// file's decompression speed against wimlib's, unless --totals-only; then a
// TOTAL block and the ours/wimlib ratios.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <wimlib.h>

#include "xpress.h"

namespace {

// Process CPU time: the build machine is shared, and wall-clock times of a
// single-threaded loop mostly measure the neighbours.
double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
using Bytes = std::vector<unsigned char>;

constexpr std::size_t kWimChunk = 65536;
constexpr int kDecodePasses = 10;
constexpr double kDecodeBudgetSeconds = 4.0;  // per file, all coders

struct Result {
    std::string coder;
    double in_bytes = 0, out_bytes = 0, comp_seconds = 0, decomp_seconds = 0;
    void Add(const Result& r)
    {
        in_bytes += r.in_bytes;
        out_bytes += r.out_bytes;
        comp_seconds += r.comp_seconds;
        decomp_seconds += r.decomp_seconds;
    }
};

// A compressed file and the pass that decompresses it (into `out`, checked
// against the input after timing).
struct Coder {
    Result result;
    std::function<bool()> decompress;
};

template <typename F>
double BestTime(int max_runs, double budget, F&& f)
{
    double best = 1e300;
    const double start = CpuSeconds();
    for (int run = 0; run < max_runs; run++) {
        const double t0 = CpuSeconds();
        f();
        best = std::min(best, CpuSeconds() - t0);
        if (CpuSeconds() - start > budget)
            break;
    }
    return best;
}

[[noreturn]] void Die(const std::string& file, const std::string& what)
{
    std::fprintf(stderr, "xpress_vs_wimlib: %s: %s\n", file.c_str(), what.c_str());
    std::exit(1);
}

struct OursStream {
    Bytes comp;
    std::size_t size = 0;
};

Coder Ours(const std::string& file, const Bytes& in, int level, xpress::Decompressor* d, OursStream* stream, Bytes* out)
{
    xpress::Compressor* c;
    if (!xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c))
        Die(file, "no compressor");
    stream->comp.resize(xpress::CompressRawBound(in.size()));
    bool ok = true;
    Coder coder;
    coder.result.coder = "ours L" + std::to_string(level);
    coder.result.in_bytes = double(in.size());
    coder.result.comp_seconds = BestTime(3, 1.0, [&] {
        ok &= xpress::CompressRaw(c, in.data(), in.size(), stream->comp.data(), stream->comp.size(), &stream->size);
    });
    xpress::CloseCompressor(c);
    if (!ok)
        Die(file, "our compressor failed");
    coder.result.out_bytes = double(stream->size);
    coder.decompress = [=] {
        return xpress::DecompressRaw(d, stream->comp.data(), stream->size, out->data(), out->size()) ==
               xpress::DecodeResult::kSuccess;
    };
    return coder;
}

struct WimlibChunks {
    std::vector<Bytes> comp;
    std::vector<std::size_t> sizes;
    wimlib_decompressor* d = nullptr;
    ~WimlibChunks() { wimlib_free_decompressor(d); }
};

Coder Wimlib(const std::string& file, const Bytes& in, unsigned level, WimlibChunks* chunks, Bytes* out)
{
    wimlib_compressor* c;
    if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kWimChunk, level, &c) != 0 ||
        wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kWimChunk, &chunks->d) != 0)
        Die(file, "wimlib: cannot create codec");
    const std::size_t count = (in.size() + kWimChunk - 1) / kWimChunk;
    chunks->comp.assign(count, Bytes(kWimChunk));
    chunks->sizes.assign(count, 0);
    Coder coder;
    coder.result.coder = "wimlib L" + std::to_string(level);
    coder.result.in_bytes = double(in.size());
    coder.result.comp_seconds = BestTime(3, 1.0, [&] {
        for (std::size_t i = 0; i < count; i++) {
            const std::size_t n = std::min(kWimChunk, in.size() - i * kWimChunk);
            chunks->sizes[i] = wimlib_compress(&in[i * kWimChunk], n, chunks->comp[i].data(), n - 1, c);
        }
    });
    wimlib_free_compressor(c);
    for (std::size_t i = 0; i < count; i++)
        coder.result.out_bytes +=
            double(chunks->sizes[i] != 0 ? chunks->sizes[i] : std::min(kWimChunk, in.size() - i * kWimChunk));
    coder.decompress = [=, &in] {
        bool ok = true;
        for (std::size_t i = 0; i < count; i++) {
            const std::size_t n = std::min(kWimChunk, in.size() - i * kWimChunk);
            if (chunks->sizes[i] == 0)
                std::memcpy(&(*out)[i * kWimChunk], &in[i * kWimChunk], n);
            else
                ok &= wimlib_decompress(chunks->comp[i].data(), chunks->sizes[i], &(*out)[i * kWimChunk], n,
                                        chunks->d) == 0;
        }
        return ok;
    };
    return coder;
}

// Times every coder's decompression, best of the passes.
void TimeDecompression(const std::string& file, const Bytes& in, Bytes* out, std::vector<Coder>* coders)
{
    std::vector<double> best(coders->size(), 1e300);
    const double start = CpuSeconds();
    for (int pass = 0; pass < kDecodePasses; pass++) {
        for (std::size_t i = 0; i < coders->size(); i++) {
            const double t0 = CpuSeconds();
            const bool ok = (*coders)[i].decompress();
            best[i] = std::min(best[i], CpuSeconds() - t0);
            if (!ok || *out != in)
                Die(file, (*coders)[i].result.coder + ": round trip failed");
        }
        if (CpuSeconds() - start > kDecodeBudgetSeconds)
            break;
    }
    for (std::size_t i = 0; i < coders->size(); i++)
        (*coders)[i].result.decomp_seconds = best[i];
}

void PrintRow(const std::string& name, const Result& r)
{
    std::printf("%-22s %-12s %12.0f %12.0f %7.2f%% %9.2f %9.2f\n", name.c_str(), r.coder.c_str(), r.in_bytes,
                r.out_bytes, r.in_bytes > 0 ? 100.0 * r.out_bytes / r.in_bytes : 0.0, r.in_bytes / 1e6 / r.comp_seconds,
                r.in_bytes / 1e6 / r.decomp_seconds);
}

void PrintVersus(const Result& ours, const Result& peer)
{
    std::printf("  %-10s / %-12s size %6.3f   compress speed %6.2fx   decompress speed %6.2fx\n", ours.coder.c_str(),
                peer.coder.c_str(), ours.out_bytes / peer.out_bytes,
                (ours.in_bytes / ours.comp_seconds) / (peer.in_bytes / peer.comp_seconds),
                (ours.in_bytes / ours.decomp_seconds) / (peer.in_bytes / peer.decomp_seconds));
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> levels;
    for (int l = xpress::kFastestLevel; l <= xpress::kStrongestLevel; l++)
        levels.push_back(l);
    bool totals_only = false;
    std::string title = "TOTAL";
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--levels" && i + 1 < argc) {
            levels.clear();
            for (const char* p = argv[++i]; *p;) {
                levels.push_back(int(std::strtol(p, const_cast<char**>(&p), 10)));
                if (*p == ',')
                    p++;
            }
        } else if (arg == "--totals-only") {
            totals_only = true;
        } else if (arg == "--title" && i + 1 < argc) {
            title = argv[++i];
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: xpress_vs_wimlib [--levels 1,6,9] [--totals-only] [--title T] FILE...\n");
        return 2;
    }

    xpress::Decompressor* d;
    xpress::CreateDecompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, &d);
    std::vector<Result> totals;
    std::printf("%-22s %-12s %12s %12s %8s %9s %9s\n", "file", "coder", "input", "output", "ratio", "comp MB/s",
                "dec MB/s");
    for (const std::string& file : files) {
        Bytes in;
        if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
            unsigned char buf[1 << 16];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                in.insert(in.end(), buf, buf + n);
            std::fclose(f);
        } else {
            Die(file, "cannot open");
        }
        Bytes out(in.size());
        std::vector<OursStream> streams(levels.size());
        WimlibChunks w50, w100;
        std::vector<Coder> coders;
        for (std::size_t i = 0; i < levels.size(); i++)
            coders.push_back(Ours(file, in, levels[i], d, &streams[i], &out));
        coders.push_back(Wimlib(file, in, 50, &w50, &out));
        coders.push_back(Wimlib(file, in, 100, &w100, &out));
        TimeDecompression(file, in, &out, &coders);

        const std::string name = file.substr(file.find_last_of('/') + 1);
        for (std::size_t i = 0; i < coders.size(); i++) {
            if (!totals_only)
                PrintRow(name, coders[i].result);
            if (totals.size() < coders.size())
                totals.push_back(Result{coders[i].result.coder});
            totals[i].Add(coders[i].result);
        }
        if (!totals_only) {
            const Result& w = coders[coders.size() - 2].result;
            std::printf("%-22s decompress speed / wimlib L50:", name.c_str());
            for (std::size_t i = 0; i + 2 < coders.size(); i++)
                std::printf(" L%d %.2fx", levels[i], w.decomp_seconds / coders[i].result.decomp_seconds);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    for (const Result& r : totals)
        PrintRow(title, r);
    const Result& w50 = totals[totals.size() - 2];
    const Result& w100 = totals.back();
    std::printf("ours/wimlib over %s (size < 1 is smaller; speed > 1 is faster):\n", title.c_str());
    for (std::size_t i = 0; i + 2 < totals.size(); i++) {
        PrintVersus(totals[i], w50);
        PrintVersus(totals[i], w100);
    }
    xpress::CloseDecompressor(d);
    return 0;
}
