// Stand-in program: writes its command line to "<its own path>.ran", so a test
// sees whether and how it was started; "--delete=PATH" at the end of the
// command line deletes PATH, as an uninstaller removes a shortcut.
#include <windows.h>

#include <cstring>
#include <fstream>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH + 4] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::ofstream(std::strcat(path, ".ran"), std::ios::binary) << GetCommandLineA();
    if (const char* target = std::strstr(GetCommandLineA(), "--delete="))
        DeleteFileA(target + 9);
    return 0;
}
