#include "maintenance/system_programs.h"

#include "app/bounded_text.h"

#include <windows.h>

#include <cctype>
#include <cstring>

namespace {

bool IsFullPath(const char* path)
{
    bool onDrive = std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                   (path[2] == '\\' || path[2] == '/');
    return onDrive || (path[0] == '\\' && path[1] == '\\');
}

}  // namespace

bool GetSystemFolder(char (&folder)[kPathCapacity])
{
    UINT length = GetSystemDirectoryA(folder, kPathCapacity);
    return length > 0 && length < kPathCapacity;
}

bool ResolveCommandProgram(const char* command, char (&program)[kPathCapacity])
{
    program[0] = '\0';
    // The first argument, as the platform splits it: up to the closing quote,
    // or up to the first blank.
    const char* start = command[0] == '"' ? command + 1 : command;
    std::size_t length = command[0] == '"' ? std::strcspn(start, "\"") : std::strcspn(start, " \t");
    char name[kPathCapacity];
    if (length == 0 || length >= sizeof name)
        return false;
    std::memcpy(name, start, length);
    name[length] = '\0';
    if (IsFullPath(name))
        return true;
    if (std::strpbrk(name, "\\/:") != nullptr)
        return false;

    char systemFolder[kPathCapacity];
    char windowsFolder[kPathCapacity];
    char folders[2 * kPathCapacity];
    UINT windowsLength = GetSystemWindowsDirectoryA(windowsFolder, kPathCapacity);
    if (!GetSystemFolder(systemFolder) || windowsLength == 0 || windowsLength >= kPathCapacity ||
        FormatBounded(folders, sizeof folders, "%s;%s", systemFolder, windowsFolder) != kFormatOk)
        return false;
    DWORD found = SearchPathA(folders, name, ".exe", kPathCapacity, program, nullptr);
    if (found == 0 || found >= kPathCapacity) {
        program[0] = '\0';
        return false;
    }
    return true;
}
