// Installation benchmark, run under Wine by bench/install/run: our setup program
// against NSIS installers of the same two files, in one session, in interleaved
// rounds.  Ours is walked to its options page and timed from the click on
// Install to the finish page; an NSIS installer runs silently (/S) and is timed
// from its start to its end, less the median run of an empty NSIS installer.
// Peak memory is each installer process's peak working set (for NSIS the last
// reading before it ended, taken every millisecond).  Times are given as the
// median and the least of the rounds: on a machine that others share, the
// least is the steadier figure of what an installation costs.
//
//   install_bench OURS NSIS_LZMA NSIS_ZLIB NSIS_EMPTY [ROUNDS]   (Windows paths)
// Each installation is removed before each run, so every run installs afresh;
// but ours runs a second time in each round over its own installation, as an
// earlier release's (an upgrade, where each file replaces one of the same size).
#include "bench/win32_timing.h"
#include "resources/resource.h"
#include "tests/support/support.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using bench::Least;
using bench::Median;
using bench::Now;

constexpr DWORD kBoundMs = 60000;  // a run that takes longer than this has failed

// What either installer leaves: ours under "VEK\LumovaraRemote", NSIS's under
// "VEK\LumovaraRemote NSIS", their links and their uninstall entries.
void RemoveInstallations()
{
    RemoveInstallation();
    const std::string& link = Installation().commonDesktopLink;  // NSIS's: named as ours, with " NSIS"
    RemoveTree(link.substr(0, link.rfind('.')) + " NSIS.lnk");
    DeleteRegistryTree(kUninstallKey + std::string("_NSIS"));
}

double PeakMiB(HANDLE process, double known)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters))
        return known;
    return std::max(known, double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0));
}

struct Run {
    double seconds = -1;  // negative: the run failed
    double peakMiB = 0;
};

// Walked as the tests walk it; Install is sent, and the installation runs inside
// its handler, so the press returns when the installation is done.
Run RunOurs(const std::string& program)
{
    Run run;
    RunningSetup setup = StartSetup(program);
    if (setup.wizard == nullptr || !WalkToOptions(setup.wizard))
        return run;
    const double start = Now();
    const bool installed =
        Press(setup.wizard, IDOK, kBoundMs) && WaitFor([&] { return OnFinishPage(setup.wizard); }, kBoundMs, 1);
    const double seconds = Now() - start;
    run.peakMiB = PeakMiB(setup.process.handle(), 0);
    if (installed && ControlText(setup.wizard, IDC_STATUS) == "The install operation completed successfully." &&
        Finish(setup, false) == 0)  // Finish starts nothing
        run.seconds = seconds;
    return run;  // a setup program still running ends with `setup`
}

Run RunSilent(const std::string& installer)
{
    Run run;
    const double start = Now();
    Process nsis(installer, "/S");
    long exitCode = -1;
    while (nsis.handle() != nullptr && (exitCode = nsis.Wait(1)) == -1 && Now() - start < kBoundMs / 1000.0)
        run.peakMiB = PeakMiB(nsis.handle(), run.peakMiB);
    if (exitCode == 0)
        run.seconds = Now() - start;
    return run;  // one still running ends with `nsis`
}

}  // namespace

// The installation as an earlier release leaves it: the setup upgrades it
// without asking.
void MarkAsEarlierRelease()
{
    WriteRegistryValue(kUninstallKey, "DisplayVersion", REG_SZ, Sz("2.0 beta"));
    WriteRegistryValue(kUninstallKey, "ProductVersionNumber", REG_SZ, Sz("2.0.0.0"));
}

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: install_bench OURS NSIS_LZMA NSIS_ZLIB NSIS_EMPTY [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 5;
    enum { kOurs, kLzma, kZlib, kEmpty, kUpgrade, kInstallers };
    const char* const names[kInstallers] = {"ours", "NSIS LZMA", "NSIS zlib", "NSIS empty", "ours, upgrading"};
    const int programs[kInstallers] = {1, 2, 3, 4, 1};
    std::vector<double> seconds[kInstallers], peaks[kInstallers];
    for (int round = 0; round < rounds; ++round) {
        for (int which : {kOurs, kUpgrade, kLzma, kZlib, kEmpty}) {
            if (which == kUpgrade)
                MarkAsEarlierRelease();
            else
                RemoveInstallations();
            const Run run = which == kOurs || which == kUpgrade ? RunOurs(argv[1]) : RunSilent(argv[programs[which]]);
            if (run.seconds < 0) {
                std::fprintf(stderr, "install_bench: %s did not install (%s)\n", names[which], argv[programs[which]]);
                RemoveInstallations();
                return 1;
            }
            seconds[which].push_back(run.seconds);
            peaks[which].push_back(run.peakMiB);
        }
    }
    RemoveInstallations();

    double size[3], median[3], least[3], peak[3];
    for (int which = 0; which < 3; ++which) {
        const bool nsis = which != kOurs;
        size[which] = double(ReadFileBytes(argv[1 + which]).size());
        median[which] = (Median(seconds[which]) - (nsis ? Median(seconds[kEmpty]) : 0)) * 1000;
        least[which] = (Least(seconds[which]) - (nsis ? Least(seconds[kEmpty]) : 0)) * 1000;
        peak[which] = Median(peaks[which]);
    }
    std::printf("installation: the same two files, shortcuts, uninstaller and registration; %d rounds\n", rounds);
    std::printf("  %-28s %12s %12s %12s   %s\n", "", "ours", "NSIS LZMA", "NSIS zlib", "NSIS / ours");
    const auto row = [](const char* name, const char* format, const double* values) {
        std::printf("  %-28s", name);
        for (int which = 0; which < 3; ++which)
            std::printf(format, values[which]);
        std::printf("   %.2f, %.2f\n", values[1] / values[0], values[2] / values[0]);
    };
    row("setup size (bytes)", " %12.0f", size);
    row("install time, median (ms)", " %12.1f", median);
    row("install time, least (ms)", " %12.1f", least);
    row("peak working set (MiB)", " %12.1f", peak);
    std::printf("  ours: Install to the finish page; NSIS: the silent run less the empty installer's "
                "(median %.1f, least %.1f ms, peak %.1f MiB)\n",
                Median(seconds[kEmpty]) * 1000, Least(seconds[kEmpty]) * 1000, Median(peaks[kEmpty]));
    std::printf("  ours over its own installation (an upgrade): median %.1f, least %.1f ms, peak %.1f MiB\n",
                Median(seconds[kUpgrade]) * 1000, Least(seconds[kUpgrade]) * 1000, Median(peaks[kUpgrade]));
    return 0;
}
