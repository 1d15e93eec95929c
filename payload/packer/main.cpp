// payload-pack: builds the setup program's payload container from the
// application executable and the help file.
//
//   payload-pack APP HELP -o OUT [--level N] [--threads N] [--assembly SOURCE [--symbol NAME]]
//
// Writes the container's bytes to OUT and, with --assembly, an assembler
// source that includes OUT whole; prints each entry's sizes, and the progress
// of large entries.  Outputs appear only when whole, and are checked for being
// writable before anything is compressed.  The same inputs and level always
// give the same bytes, whatever the thread count.  Exit status: 0 done (also
// for --help, which prints the usage), 1 a file could not be read, compressed
// or written, or memory ran out, 2 wrong usage.
#include "core/output_file.h"
#include "compression/xpress.h"
#include "payload/packer/container_builder.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: payload-pack APP HELP -o OUT [--level N] [--threads N] [--assembly SOURCE [--symbol NAME]]\n"
    "  APP, HELP         the files to carry as entries 0 and 1\n"
    "  -o OUT            the container file to write\n"
    "  --level N         compression level 1..9 (default 9, the strongest)\n"
    "  --threads N       threads to compress with, 1..256 (default one per core)\n"
    "  --assembly SOURCE also write an assembler source that includes OUT (.incbin)\n"
    "  --symbol NAME     name of the array in that source (default PayloadContainer)\n"
    "  --help            print this and exit\n";

// Entries at least this large report their progress, every tenth.
constexpr std::size_t kProgressFrom = std::size_t(16) << 20;

struct Options {
    std::string inputs[2];
    std::string output;
    std::string assembly;
    int level = xpress::kStrongestLevel;
    unsigned threads = 0;
    std::string symbol = "PayloadContainer";
};

bool IsSymbol(const std::string& name)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    }
    return true;
}

bool ParseNumber(const char* text, long low, long high, long* number)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        return false;
    *number = value;
    return true;
}

// Fills *options; on a usage error prints why and returns false.
bool ParseArguments(int argc, char** argv, Options* options)
{
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "-o" && hasValue) {
            options->output = argv[++i];
        } else if (argument == "--level" && hasValue) {
            long level;
            if (!ParseNumber(argv[++i], xpress::kFastestLevel, xpress::kStrongestLevel, &level)) {
                std::fprintf(stderr, "payload-pack: level must be %d..%d, not '%s'\n", xpress::kFastestLevel,
                             xpress::kStrongestLevel, argv[i]);
                return false;
            }
            options->level = static_cast<int>(level);
        } else if (argument == "--threads" && hasValue) {
            long threads;
            if (!ParseNumber(argv[++i], 1, 256, &threads)) {
                std::fprintf(stderr, "payload-pack: threads must be 1..256, not '%s'\n", argv[i]);
                return false;
            }
            options->threads = static_cast<unsigned>(threads);
        } else if (argument == "--assembly" && hasValue) {
            options->assembly = argv[++i];
        } else if (argument == "--symbol" && hasValue) {
            options->symbol = argv[++i];
            if (!IsSymbol(options->symbol)) {
                std::fprintf(stderr, "payload-pack: '%s' is not a valid symbol name\n", argv[i]);
                return false;
            }
        } else if (!argument.empty() && argument[0] == '-') {
            std::fprintf(stderr, "payload-pack: unknown option or missing value: %s\n", argv[i]);
            return false;
        } else if (positional < 2) {
            options->inputs[positional++] = argument;
        } else {
            std::fprintf(stderr, "payload-pack: too many input files: %s\n", argv[i]);
            return false;
        }
    }
    if (positional < 2 || options->output.empty()) {
        std::fprintf(stderr, "payload-pack: need two input files and -o OUT\n");
        return false;
    }
    return true;
}

// Reads a whole input file of 1 byte to 4 GiB - 1; otherwise *error says why.
bool ReadInput(const std::string& path, std::vector<std::uint8_t>* data, std::string* error)
{
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(path, code);
    if (code) {
        *error = code.message();
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        *error = "not a regular file";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, code);
    if (code) {
        *error = code.message();
        return false;
    }
    if (size == 0) {
        *error = "file is empty";
        return false;
    }
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        *error = "file is 4 GiB or larger";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    data->resize(static_cast<std::size_t>(size));
    const std::size_t read = std::fread(data->data(), 1, data->size(), file);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (failed) {
        *error = std::strerror(readErrno);
        return false;
    }
    if (read != data->size()) {
        *error = "file changed while it was read";
        return false;
    }
    return true;
}

struct Progress {
    int entry;
    const std::string& path;
    std::size_t reported;  // tenths
};

// Lines, flushed at once: the build shows them while the packer runs.
void ReportProgress(void* context, std::size_t done, std::size_t total)
{
    Progress& progress = *static_cast<Progress*>(context);
    const std::size_t tenths = done * 10 / total;
    if (tenths == progress.reported || tenths == 10)
        return;
    progress.reported = tenths;
    std::printf("entry %d  %s  %zu%% of %zu bytes compressed\n", progress.entry, progress.path.c_str(), tenths * 10,
                total);
    std::fflush(stdout);
}

int Run(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // A folder that takes no file is found now, not after minutes of compressing.
    for (const std::string* output : {&options.output, &options.assembly}) {
        std::string error;
        if (!output->empty() && !CheckOutputFile(*output, &error)) {
            std::fprintf(stderr, "payload-pack: %s: %s\n", output->c_str(), error.c_str());
            return 1;
        }
    }

    std::vector<payload::PackedEntry> entries(2);
    for (int i = 0; i < 2; ++i) {
        const std::string& path = options.inputs[i];
        std::vector<std::uint8_t> data;
        std::string error;
        Progress progress{i, path, 0};
        payload::PackSettings settings;
        settings.level = options.level;
        settings.threads = options.threads;
        if (ReadInput(path, &data, &error) && data.size() >= kProgressFrom) {
            settings.progress = ReportProgress;
            settings.progressContext = &progress;
        }
        if (!error.empty() || !payload::PackFile(data, settings, &entries[i], &error)) {
            std::fprintf(stderr, "payload-pack: %s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
        const double ratio = 100.0 * double(entries[i].stream.size()) / double(data.size());
        std::printf("entry %d  %s  %zu -> %zu bytes (%.1f%%)\n", i, path.c_str(), data.size(), entries[i].stream.size(),
                    ratio);
    }

    const std::vector<std::uint8_t> container = payload::BuildContainer(entries);
    const std::vector<std::uint32_t> partIndex = payload::BuildPartIndex(entries);
    entries.clear();
    std::string error;
    if (!WriteOutputFile(options.output, container.data(), container.size(), &error)) {
        std::fprintf(stderr, "payload-pack: %s: %s\n", options.output.c_str(), error.c_str());
        return 1;
    }
    if (!options.assembly.empty()) {
        const std::string text = payload::ContainerAssembly(std::filesystem::absolute(options.output).string(),
                                                            container.size() / 4, partIndex, options.symbol);
        if (!WriteOutputFile(options.assembly, text.data(), text.size(), &error)) {
            std::fprintf(stderr, "payload-pack: %s: %s\n", options.assembly.c_str(), error.c_str());
            return 1;
        }
    }
    std::printf("container  %zu bytes, level %d\n", container.size(), options.level);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Memory for the inputs grows with them; running out ends the run with one
    // line, not an abort.  The codec reports running out as false (PackFile's
    // "out of memory while compressing").
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("payload-pack: out of memory\n", stderr);
        return 1;
    }
}
