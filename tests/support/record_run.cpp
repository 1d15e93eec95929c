// Stand-in program: writes its command line to "<its own path>.ran", so a test
// sees whether and how it was started, and where it ran to "<...>.where" (its
// current directory, TEMP and PATH, a line each); "--delete=PATH|PATH..." at
// the end of the command line deletes those files ("FOLDER\*": all in it), as an
// uninstaller would.  With
// "--again" it does that work through a copy of itself, as many uninstallers
// do: it starts "<its own path>.copy.exe", which takes 2 s before it works, and
// ends at once.  The record is written last, when the work is done.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string commandLine = GetCommandLineA();
    auto record = [&] { std::ofstream(std::string(path) + ".ran", std::ios::binary) << GetCommandLineA(); };
    char folder[MAX_PATH] = {}, temp[MAX_PATH] = {}, search[4096] = {};
    GetCurrentDirectoryA(MAX_PATH, folder), GetEnvironmentVariableA("TEMP", temp, MAX_PATH);
    GetEnvironmentVariableA("PATH", search, sizeof search);
    std::ofstream(std::string(path) + ".where", std::ios::binary) << folder << '\n' << temp << '\n' << search;
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
    if (std::size_t list = commandLine.find("--delete="); list != std::string::npos) {
        std::string from = commandLine.substr(list + 9) + '\0';  // the shell's list: NUL between, two at the end
        std::replace(from.begin(), from.end(), '|', '\0');
        SHFILEOPSTRUCTA operation = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI};
        SHFileOperationA(&operation);
    }
    record();  // last: the work is done once it is there
    return 0;
}
