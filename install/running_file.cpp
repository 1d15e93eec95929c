#include "install/running_file.h"

#include "app/product.h"
#include "install/replacement_file.h"

#include <windows.h>

namespace {

HANDLE runningFile = INVALID_HANDLE_VALUE;

}  // namespace

void HoldRunningFile()
{
    // By its UTF-16 path, whole however many bytes it would take in our code page.
    wchar_t path[kPathCapacity];
    DWORD length = GetModuleFileNameW(nullptr, path, kPathCapacity);
    if (length == 0 || length >= kPathCapacity)
        return;
    runningFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool CopyRunningFile(const char* targetPath)
{
    LARGE_INTEGER start = {};
    if (runningFile == INVALID_HANDLE_VALUE ||
        !SetFilePointerEx(runningFile, start, nullptr, FILE_BEGIN))
        return false;
    char newPath[kPathCapacity];
    if (!ReplacementPath(targetPath, newPath))
        return false;
    HANDLE target = CreateFileA(newPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return false;

    char chunk[64 * 1024];
    bool complete = false;
    for (;;) {
        DWORD read = 0;
        DWORD written = 0;
        if (!ReadFile(runningFile, chunk, sizeof chunk, &read, nullptr))
            break;
        if (read == 0) {
            complete = true;  // the end of the file
            break;
        }
        if (!WriteFile(target, chunk, read, &written, nullptr) || written != read)
            break;
    }
    CloseHandle(target);
    if (!complete) {
        DeleteFileA(newPath);  // a cut-off uninstaller must never take the old one's place
        return false;
    }
    return PutInPlace(newPath, targetPath);
}
