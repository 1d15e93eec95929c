#include "maintenance/system_programs.h"

#include "core/bounded_text.h"
#include "core/platform_paths.h"

#include <windows.h>
#include <shlwapi.h>

#include <cctype>
#include <cstring>

namespace {

bool IsFullPath(const char* path)
{
    bool onDrive =
        std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return onDrive || (path[0] == '\\' && path[1] == '\\');
}

// The program of an unquoted command that begins with a full path.  Started
// without an application name, the platform would try every prefix that ends
// at a blank ("C:\ProgramData\VEK.exe" for "C:\ProgramData\VEK Lumovara\...")
// and run the first that exists, which another user may have put there.  Only
// a prefix that ends in ".exe" followed by a blank or the end counts: the
// first of them that is a file.
bool FindUnquotedProgram(const char* command, char (&program)[kPathCapacity])
{
    for (const char* end = command; (end = StrStrIA(end, ".exe")) != nullptr; ++end) {
        std::size_t length = std::size_t(end - command) + 4;
        if (end[4] != '\0' && end[4] != ' ' && end[4] != '\t')
            continue;
        if (length >= kPathCapacity)
            return false;
        std::memcpy(program, command, length);
        program[length] = '\0';
        if (IsExistingFile(program))
            return true;
    }
    program[0] = '\0';
    return false;
}

}  // namespace

bool GetSystemFolder(char (&folder)[kPathCapacity])
{
    UINT length = GetSystemDirectoryA(folder, kPathCapacity);
    return length > 0 && length < kPathCapacity;
}

bool GetWindowsFolder(char (&folder)[kPathCapacity])
{
    UINT length = GetSystemWindowsDirectoryA(folder, kPathCapacity);
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
        return command[0] == '"' || FindUnquotedProgram(command, program);
    if (std::strpbrk(name, "\\/:") != nullptr)
        return false;

    char systemFolder[kPathCapacity];
    char windowsFolder[kPathCapacity];
    char folders[2 * kPathCapacity];
    if (!GetSystemFolder(systemFolder) || !GetWindowsFolder(windowsFolder) ||
        FormatBounded(folders, sizeof folders, "%s;%s", systemFolder, windowsFolder) != kFormatOk)
        return false;
    DWORD found = SearchPathA(folders, name, ".exe", kPathCapacity, program, nullptr);
    if (found == 0 || found >= kPathCapacity) {
        program[0] = '\0';
        return false;
    }
    return true;
}
