// A stand-in program for tests: writes its command line to "<its own path>.ran",
// so a test can tell whether and how it was started (planted at C:\Program.exe,
// or registered as a legacy uninstaller).  "--delete=PATH" at the end of the
// command line deletes PATH, as an uninstaller removes a shortcut.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* commandLine = GetCommandLineA();
    std::ofstream(std::string(path, length) + ".ran", std::ios::binary) << commandLine;
    if (const char* target = std::strstr(commandLine, "--delete="))
        DeleteFileA(target + 9);
    return 0;
}
