// A stand-in program for tests: records that it ran, with its command line, in
// "<its own path>.ran".  Copied to wherever a test needs a program it can
// tell apart (a legacy uninstaller, a program planted at "C:\Program.exe").
// "--sleep=<ms>" on its command line makes it take that long.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const char* commandLine = GetCommandLineA();
    char markerPath[MAX_PATH + 8] = {};
    DWORD length = GetModuleFileNameA(nullptr, markerPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    std::strcat(markerPath, ".ran");
    HANDLE marker = CreateFileA(markerPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(marker, commandLine, DWORD(std::strlen(commandLine)), &written, nullptr);
    CloseHandle(marker);

    if (const char* sleep = std::strstr(commandLine, "--sleep="))
        Sleep(DWORD(std::strtoul(sleep + 8, nullptr, 10)));
    return 0;
}
