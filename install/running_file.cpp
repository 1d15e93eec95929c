#include "install/running_file.h"

#include "core/bounded_text.h"
#include "core/replacement_file.h"
#include "install/running_image.h"

#include <windows.h>

#include <cstring>

namespace {

HANDLE runningFile = INVALID_HANDLE_VALUE;
DWORD runningFileError = ERROR_FILE_INVALID;  // why it could not be held

constexpr DWORD kChunkBytes = 64 * 1024;

// Reads the held file from its start, a chunk at a time, and hands each to
// take(bytes, size) once it has been found to be the running image's.
// ERROR_SUCCESS when its end was reached and every take succeeded;
// ERROR_FILE_INVALID when the file is not the one that runs.
template <typename Take>
DWORD ReadRunningFile(Take take)
{
    LARGE_INTEGER start = {};
    if (runningFile == INVALID_HANDLE_VALUE)
        return runningFileError;
    if (!SetFilePointerEx(runningFile, start, nullptr, FILE_BEGIN))
        return GetLastError();
    char chunk[kChunkBytes];
    for (std::uint64_t offset = 0;;) {
        DWORD read = 0;
        if (!ReadFile(runningFile, chunk, kChunkBytes, &read, nullptr))
            return GetLastError();
        if (read == 0)  // the end of the file
            return IsRunningImageSize(offset) ? ERROR_SUCCESS : ERROR_FILE_INVALID;
        if (!MatchesRunningImage(offset, chunk, read))
            return ERROR_FILE_INVALID;
        if (!take(chunk, read))
            return ERROR_CANCELLED;  // the taker knows why
        offset += read;
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
    // Whoever else holds the file (a browser finishing the download, a
    // scanner): every byte taken from it is checked against the image.
    if (!PrepareImageCheck())
        return;
    runningFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    HANDLE target = CreateFileA(newPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD writeError = ERROR_SUCCESS;
    DWORD error = ReadRunningFile([target, &writeError](const char* bytes, DWORD size) {
        DWORD written = 0;
        if (!WriteFile(target, bytes, size, &written, nullptr))
            writeError = GetLastError();
        else if (written != size)
            writeError = ERROR_DISK_FULL;
        return written == size;
    });
    if (error == ERROR_SUCCESS)
        error = FlushBeforeReplacing(target, targetPath);
    CloseHandle(target);
    if (error != ERROR_SUCCESS) {
        DeleteFileA(newPath);  // a cut-off or foreign uninstaller must never take the old one's place
        return error == ERROR_CANCELLED ? writeError : error;
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
    bool same =
        ReadRunningFile([file, &other](const char* bytes, DWORD size) {
            DWORD read = 0;
            return ReadFile(file, other, size, &read, nullptr) && read == size && std::memcmp(bytes, other, size) == 0;
        }) == ERROR_SUCCESS;
    // The held file has ended: the other must end there too.
    DWORD read = 0;
    same = same && ReadFile(file, other, 1, &read, nullptr) && read == 0;
    CloseHandle(file);
    return same;
}
