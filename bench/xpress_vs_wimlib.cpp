// Side-by-side benchmark: our XPRESS Huffman codec at each level against
// wimlib's XPRESS codec at levels 50 and 100, on the same bytes, in one run.
//
//   xpress_vs_wimlib [--levels 1,6,9] [--totals-only] [--title T] FILE...
//
// wimlib compresses 64 KiB chunks independently, as WIM does, and a chunk it
// cannot shrink counts at its raw size (WIM stores it).  Ours compresses each
// file as one raw stream.  Times are the best of a few runs (MB = 10^6 bytes);
// every decompressed output is checked.  Rows per file unless --totals-only,
// then a TOTAL block and the ours/wimlib ratios.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <wimlib.h>

#include "xpress.h"

namespace {

// Process CPU time: the build machine is shared, and wall-clock times of a
// single-threaded loop mostly measure the neighbours.
double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
using Bytes = std::vector<unsigned char>;

constexpr std::size_t kWimChunk = 65536;

struct Result {
    std::string coder;
    double in_bytes = 0, out_bytes = 0, comp_seconds = 0, decomp_seconds = 0;
    void Add(const Result& r) {
        in_bytes += r.in_bytes;
        out_bytes += r.out_bytes;
        comp_seconds += r.comp_seconds;
        decomp_seconds += r.decomp_seconds;
    }
};

template <typename F>
double BestTime(int max_runs, double budget, F&& f) {
    double best = 1e300;
    const double start = CpuSeconds();
    for (int run = 0; run < max_runs; run++) {
        const double t0 = CpuSeconds();
        f();
        best = std::min(best, CpuSeconds() - t0);
        if (CpuSeconds() - start > budget) break;
    }
    return best;
}

[[noreturn]] void Die(const std::string& file, const std::string& what) {
    std::fprintf(stderr, "xpress_vs_wimlib: %s: %s\n", file.c_str(), what.c_str());
    std::exit(1);
}

Result RunOurs(const std::string& file, const Bytes& in, int level, xpress::Decompressor* d) {
    xpress::Compressor* c;
    if (!xpress::CreateCompressor(xpress::COMPRESS_ALGORITHM_XPRESS_HUFF, level, &c)) Die(file, "no compressor");
    Bytes comp(xpress::CompressRawBound(in.size())), out(in.size());
    std::size_t size = 0;
    bool ok = true;
    Result r;
    r.coder = "ours L" + std::to_string(level);
    r.in_bytes = double(in.size());
    r.comp_seconds = BestTime(3, 1.0, [&] { ok &= xpress::CompressRaw(c, in.data(), in.size(), comp.data(), comp.size(), &size); });
    xpress::CloseCompressor(c);
    if (!ok) Die(file, "our compressor failed");
    r.out_bytes = double(size);
    xpress::DecodeResult dr = xpress::DecodeResult::kSuccess;
    r.decomp_seconds = BestTime(10, 0.5, [&] { dr = xpress::DecompressRaw(d, comp.data(), size, out.data(), out.size()); });
    if (dr != xpress::DecodeResult::kSuccess || out != in) Die(file, "our round trip failed at " + r.coder);
    return r;
}

Result RunWimlib(const std::string& file, const Bytes& in, unsigned level) {
    wimlib_compressor* c;
    wimlib_decompressor* d;
    if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kWimChunk, level, &c) != 0 ||
        wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, kWimChunk, &d) != 0)
        Die(file, "wimlib: cannot create codec");
    const std::size_t chunks = (in.size() + kWimChunk - 1) / kWimChunk;
    std::vector<Bytes> comp(chunks, Bytes(kWimChunk));
    std::vector<std::size_t> sizes(chunks);
    Bytes out(in.size());
    Result r;
    r.coder = "wimlib L" + std::to_string(level);
    r.in_bytes = double(in.size());
    r.comp_seconds = BestTime(3, 1.0, [&] {
        for (std::size_t i = 0; i < chunks; i++) {
            const std::size_t n = std::min(kWimChunk, in.size() - i * kWimChunk);
            sizes[i] = wimlib_compress(&in[i * kWimChunk], n, comp[i].data(), n - 1, c);
        }
    });
    double total = 0;
    for (std::size_t i = 0; i < chunks; i++)
        total += double(sizes[i] != 0 ? sizes[i] : std::min(kWimChunk, in.size() - i * kWimChunk));
    r.out_bytes = total;
    int failures = 0;
    r.decomp_seconds = BestTime(10, 0.5, [&] {
        for (std::size_t i = 0; i < chunks; i++) {
            const std::size_t n = std::min(kWimChunk, in.size() - i * kWimChunk);
            if (sizes[i] == 0)
                std::memcpy(&out[i * kWimChunk], &in[i * kWimChunk], n);
            else
                failures += wimlib_decompress(comp[i].data(), sizes[i], &out[i * kWimChunk], n, d) != 0;
        }
    });
    if (failures != 0 || out != in) Die(file, "wimlib round trip failed");
    wimlib_free_compressor(c);
    wimlib_free_decompressor(d);
    return r;
}

void PrintRow(const std::string& name, const Result& r) {
    std::printf("%-22s %-12s %12.0f %12.0f %7.2f%% %9.2f %9.2f\n", name.c_str(), r.coder.c_str(), r.in_bytes,
                r.out_bytes, r.in_bytes > 0 ? 100.0 * r.out_bytes / r.in_bytes : 0.0,
                r.in_bytes / 1e6 / r.comp_seconds, r.in_bytes / 1e6 / r.decomp_seconds);
}

void PrintVersus(const Result& ours, const Result& peer) {
    std::printf("  %-10s / %-12s size %6.3f   compress speed %6.2fx   decompress speed %6.2fx\n", ours.coder.c_str(),
                peer.coder.c_str(), ours.out_bytes / peer.out_bytes,
                (ours.in_bytes / ours.comp_seconds) / (peer.in_bytes / peer.comp_seconds),
                (ours.in_bytes / ours.decomp_seconds) / (peer.in_bytes / peer.decomp_seconds));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> levels;
    for (int l = xpress::kFastestLevel; l <= xpress::kStrongestLevel; l++) levels.push_back(l);
    bool totals_only = false;
    std::string title = "TOTAL";
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--levels" && i + 1 < argc) {
            levels.clear();
            for (const char* p = argv[++i]; *p;) {
                levels.push_back(int(std::strtol(p, const_cast<char**>(&p), 10)));
                if (*p == ',') p++;
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
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) in.insert(in.end(), buf, buf + n);
            std::fclose(f);
        } else {
            Die(file, "cannot open");
        }
        std::vector<Result> rows;
        for (int level : levels) rows.push_back(RunOurs(file, in, level, d));
        rows.push_back(RunWimlib(file, in, 50));
        rows.push_back(RunWimlib(file, in, 100));
        const std::string name = file.substr(file.find_last_of('/') + 1);
        for (std::size_t i = 0; i < rows.size(); i++) {
            if (!totals_only) PrintRow(name, rows[i]);
            if (totals.size() < rows.size()) totals.push_back(Result{rows[i].coder});
            totals[i].Add(rows[i]);
        }
        std::fflush(stdout);
    }
    for (const Result& r : totals) PrintRow(title, r);
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
