// De-elevated launch: the application should run with the rights of the user
// at the desktop, not with the setup program's administrator token.  The
// shell window's process carries that user's token; a primary copy of it
// starts the application.  Any failure on that road falls back to an ordinary
// start with our own token.
#include "shell/launch.h"

#include <shlwapi.h>

#include "core/application_path.h"
#include "core/bounded_text.h"
#include "core/product.h"
#include "shell/shell_token.h"

namespace {

constexpr DWORD kCreationFlags = CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS;  // 0x04000020
constexpr DWORD kShellTokenAccess =
    TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;  // 0x018B
static_assert(kCreationFlags == 0x04000020 && kShellTokenAccess == 0x018B, "launch constants");

// Room for a 259-character path, its two quotes and the NUL.
constexpr std::size_t kCommandLineCapacity = kPathCapacity + 2;

bool IsProcessElevated()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool queried = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != FALSE;
    CloseHandle(token);
    return queried && elevation.TokenIsElevated != 0;
}

const LaunchPlatform kRealPlatform = {IsProcessElevated, GetShellWindow, CreateProcessWithTokenW};
const LaunchPlatform* platform = &kRealPlatform;

// The folder of the application: the path cut just before the executable's
// name, so it keeps its trailing backslash.  Case-sensitive, as the name is ours.
void BuildWorkingDirectory(char (&directory)[kPathCapacity], const char* applicationPath)
{
    CopyPath(directory, applicationPath);
    char* name = StrStrA(directory, AppExeName);
    if (name != nullptr)
        *name = '\0';
}

// Runs commandLine under a primary copy of the shell's token.  False, with
// every handle closed, when any step fails.
bool StartWithShellToken(const char* commandLine, const char* workingDirectory)
{
    HANDLE shellToken = DuplicateShellToken(platform->getShellWindow(), kShellTokenAccess, TokenPrimary);
    if (shellToken == nullptr)
        return false;
    bool started = false;
    wchar_t wideCommandLine[kCommandLineCapacity] = {};
    wchar_t wideDirectory[kPathCapacity] = {};
    if (MultiByteToWideChar(CP_ACP, 0, commandLine, -1, wideCommandLine, int(kCommandLineCapacity)) != 0 &&
        MultiByteToWideChar(CP_ACP, 0, workingDirectory, -1, wideDirectory, int(kPathCapacity)) != 0) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOW;
        PROCESS_INFORMATION created = {};
        if (platform->createProcessWithTokenW(shellToken, 0, nullptr, wideCommandLine, kCreationFlags, nullptr,
                                              wideDirectory, &startup, &created)) {
            CloseHandle(created.hThread);
            CloseHandle(created.hProcess);
            started = true;
        }
    }
    CloseHandle(shellToken);
    return started;
}

void StartWithOwnToken(char* commandLine, const char* workingDirectory)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION started = {};
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, kCreationFlags, nullptr, workingDirectory,
                       &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}

}  // namespace

void SetLaunchPlatformForTesting(const LaunchPlatform* testPlatform)
{
    platform = testPlatform != nullptr ? testPlatform : &kRealPlatform;
}

void LaunchInstalledApplication()
{
    const char* applicationPath = RememberedApplicationPath();
    char workingDirectory[kPathCapacity];
    BuildWorkingDirectory(workingDirectory, applicationPath);

    // Quoted: unquoted, a path with blanks makes the platform try "C:\Program.exe"
    // and the like first, which would run a planted program with our rights.
    char commandLine[kCommandLineCapacity];
    FormatBounded(commandLine, sizeof commandLine, "\"%s\"", applicationPath);

    if (platform->isProcessElevated() && StartWithShellToken(commandLine, workingDirectory))
        return;
    StartWithOwnToken(commandLine, workingDirectory);
}
