#include "install/running_file.h"

#include "core/bounded_text.h"
#include "core/replacement_file.h"

#include <windows.h>

#include <cstring>

namespace {

HANDLE runningFile = INVALID_HANDLE_VALUE;
DWORD runningFileError = ERROR_INVALID_HANDLE;  // why it could not be held

constexpr DWORD kChunkBytes = 64 * 1024;

// Reads the held file from its start, a chunk at a time, and hands each to
// take(bytes, size).  True when its end was reached and every take succeeded.
template <typename Take>
bool ReadRunningFile(Take take)
{
    LARGE_INTEGER start = {};
    if (runningFile == INVALID_HANDLE_VALUE || !SetFilePointerEx(runningFile, start, nullptr, FILE_BEGIN))
        return false;
    char chunk[kChunkBytes];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(runningFile, chunk, kChunkBytes, &read, nullptr))
            return false;
        if (read == 0)
            return true;  // the end of the file
        if (!take(chunk, read))
            return false;
    }
}

}  // namespace

void HoldRunningFile()
{
    // By its UTF-16 path, whole however many bytes it would take in our code page.
    wchar_t path[kPathCapacity];
    DWORD length = GetModuleFileNameW(nullptr, path, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) {
        runningFileError = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        return;
    }
    runningFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (runningFile == INVALID_HANDLE_VALUE)
        runningFileError = GetLastError();
}

DWORD CopyRunningFile(const char* targetPath, InUse inUse)
{
    char newPath[kPathCapacity];
    if (runningFile == INVALID_HANDLE_VALUE)
        return runningFileError;
    if (!ReplacementPath(targetPath, newPath))
        return ERROR_FILENAME_EXCED_RANGE;
    HANDLE target = CreateFileA(newPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = ERROR_SUCCESS;
    bool complete = ReadRunningFile([target, &error](const char* bytes, DWORD size) {
        DWORD written = 0;
        if (!WriteFile(target, bytes, size, &written, nullptr))
            error = GetLastError();
        else if (written != size)
            error = ERROR_DISK_FULL;
        return written == size;
    });
    if (!complete && error == ERROR_SUCCESS)
        error = GetLastError();  // the read failed
    if (complete && (error = FlushBeforeReplacing(target, targetPath)) != ERROR_SUCCESS)
        complete = false;
    CloseHandle(target);
    if (!complete) {
        DeleteFileA(newPath);  // a cut-off uninstaller must never take the old one's place
        return error != ERROR_SUCCESS ? error : ERROR_READ_FAULT;
    }
    return PutInPlace(newPath, targetPath, inUse);
}

bool IsRunningFileCopy(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char other[kChunkBytes];
    bool same = ReadRunningFile([file, &other](const char* bytes, DWORD size) {
        DWORD read = 0;
        return ReadFile(file, other, size, &read, nullptr) && read == size && std::memcmp(bytes, other, size) == 0;
    });
    // The held file has ended: the other must end there too.
    DWORD read = 0;
    same = same && ReadFile(file, other, 1, &read, nullptr) && read == 0;
    CloseHandle(file);
    return same;
}
