// Starting the installed application with the desktop user's rights.
#pragma once

#include <windows.h>

// Starts the program at the remembered application path; does not wait for it.
// When the setup program is elevated, the program runs under a primary token
// duplicated from the shell window's process; otherwise, or when that fails,
// under the setup program's own token.
void LaunchInstalledApplication();

// The platform facts the token road depends on that Wine cannot produce: the
// elevation state, a shell window, and a CreateProcessWithTokenW that honours
// its token.  Tests replace them; the shipped program never does.
struct LaunchPlatform {
    bool (*isProcessElevated)();
    HWND (*getShellWindow)();
    BOOL(WINAPI* createProcessWithTokenW)
    (HANDLE token, DWORD logonFlags, LPCWSTR applicationName, LPWSTR commandLine, DWORD creationFlags,
     LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
     LPPROCESS_INFORMATION processInformation);
};

// For tests: the facts to use from now on; nullptr restores the real ones.
void SetLaunchPlatformForTesting(const LaunchPlatform* platform);
