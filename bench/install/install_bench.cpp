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
#include "core/product.h"
#include "bench/win32_timing.h"
#include "resources/resource.h"

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>

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

std::string Folder(int csidl)
{
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

void RemoveTree(const std::string& path)
{
    std::string from = path + '\0';  // a double-NUL list of one
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationA(&operation);
}

// What either installer leaves: ours under "VEK\LumovaraRemote", NSIS's under
// "VEK\LumovaraRemote NSIS", their links and their uninstall entries.
void RemoveInstallations()
{
    for (const std::string& path :
         {Folder(CSIDL_PROGRAM_FILES) + "\\VEK", Folder(CSIDL_COMMON_PROGRAMS) + "\\VEK",
          Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\VEK Lumovara Remote.lnk",
          Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\VEK Lumovara Remote NSIS.lnk"})
        RemoveTree(path);
    for (const std::string& key : {std::string(UninstallKeyPath), std::string(UninstallKeyPath) + "_NSIS"}) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    }
}

template <typename Condition>
bool WaitFor(Condition condition)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(1))
        if (GetTickCount() - start > kBoundMs)
            return false;
    return true;
}

// The installation as an earlier release leaves it: the setup upgrades it
// without asking.
void MarkAsEarlierRelease()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>("2.0 beta"), 9);
    RegSetValueExA(key, "ProductVersionNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>("2.0.0.0"), 8);
    RegCloseKey(key);
}

struct Started {
    PROCESS_INFORMATION process = {};
    bool ok = false;
};

Started Start(const std::string& commandLine)
{
    Started started;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = commandLine;
    started.ok = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &started.process) != 0;
    if (started.ok)
        CloseHandle(started.process.hThread);
    return started;
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

HWND FindWizard(DWORD processId)
{
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, "#32770", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window) && GetDlgItem(window, IDC_HEADING) != nullptr)
            return window;
    }
    return nullptr;
}

bool Press(HWND dialog, int controlId)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0, SMTO_NORMAL, kBoundMs, &result) != 0;
}

bool OnFinishPage(HWND wizard)
{
    char text[16] = {};
    GetWindowTextA(GetDlgItem(wizard, IDOK), text, sizeof text);
    return IsWindowEnabled(GetDlgItem(wizard, IDOK)) && std::string(text) == "Finish";
}

Run RunOurs(const std::string& program)
{
    Run run;
    Started setup = Start("\"" + program + "\"");
    if (!setup.ok)
        return run;
    const HANDLE process = setup.process.hProcess;
    HWND wizard = nullptr;
    bool done = WaitFor([&] { return (wizard = FindWizard(setup.process.dwProcessId)) != nullptr; }) &&
                Press(wizard, IDOK) && Press(wizard, IDC_ACCEPT) && Press(wizard, IDOK);
    if (done) {
        const double start = Now();
        done = Press(wizard, IDOK) && WaitFor([&] { return OnFinishPage(wizard); });
        const double seconds = Now() - start;
        run.peakMiB = PeakMiB(process, 0);
        if (done && SendDlgItemMessageA(wizard, IDC_START_APP, BM_GETCHECK, 0, 0) == BST_CHECKED)
            Press(wizard, IDC_START_APP);  // Finish starts nothing
        done = done && Press(wizard, IDOK) && WaitForSingleObject(process, kBoundMs) == WAIT_OBJECT_0;
        if (done)
            run.seconds = seconds;
    }
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
        TerminateProcess(process, 1);
    CloseHandle(process);
    return run;
}

Run RunSilent(const std::string& installer)
{
    Run run;
    const double start = Now();
    Started nsis = Start("\"" + installer + "\" /S");
    if (!nsis.ok)
        return run;
    const HANDLE process = nsis.process.hProcess;
    DWORD waited;
    while ((waited = WaitForSingleObject(process, 1)) == WAIT_TIMEOUT && Now() - start < kBoundMs / 1000.0)
        run.peakMiB = PeakMiB(process, run.peakMiB);
    DWORD exitCode = 1;
    if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(process, &exitCode) && exitCode == 0)
        run.seconds = Now() - start;
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(process, 1);
    CloseHandle(process);
    return run;
}

double FileBytes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return double(data.nFileSizeHigh) * 4294967296.0 + double(data.nFileSizeLow);
}

}  // namespace

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
        size[which] = FileBytes(argv[1 + which]);
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
                "(median %.1f, least %.1f ms, peak %.1f MiB)\n", Median(seconds[kEmpty]) * 1000,
                Least(seconds[kEmpty]) * 1000, Median(peaks[kEmpty]));
    std::printf("  ours over its own installation (an upgrade): median %.1f, least %.1f ms, peak %.1f MiB\n",
                Median(seconds[kUpgrade]) * 1000, Least(seconds[kUpgrade]) * 1000, Median(peaks[kUpgrade]));
    return 0;
}
