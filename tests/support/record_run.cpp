// Stand-in program: writes its command line to "<its own path>.ran", so a test
// sees whether and how it was started; "--delete=PATH" at the end of the
// command line deletes PATH, as an uninstaller removes a shortcut.  With
// "--again" it does that work through a copy of itself, as many uninstallers
// do: it starts "<its own path>.copy.exe", which takes 2 s before it works, and
// ends at once.  The record is written last, when the work is done.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string commandLine = GetCommandLineA();
    auto record = [&] { std::ofstream(std::string(path) + ".ran", std::ios::binary) << GetCommandLineA(); };
    if (std::size_t again = commandLine.find("--again"); again != std::string::npos) {
        record();
        const std::string copy = std::string(path) + ".copy.exe";
        commandLine.replace(again, 7, "--later");
        STARTUPINFOA startup = {sizeof startup};
        PROCESS_INFORMATION started = {};
        return !(CopyFileA(path, copy.c_str(), FALSE) &&
                 CreateProcessA(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &started));
    }
    if (commandLine.find("--later") != std::string::npos)
        Sleep(2000);
    if (const char* target = std::strstr(GetCommandLineA(), "--delete="))
        DeleteFileA(target + 9);
    record();  // last: the work is done once it is there
    return 0;
}
