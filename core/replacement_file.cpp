#include "core/replacement_file.h"

namespace {

// The errors of a file that a running program holds: as the image of a
// process, or open without sharing.
bool IsInUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

// The system's list of renames carried out at the next start; only
// administrators may add to it, as we run.
DWORD AtNextStart(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_DELAY_UNTIL_REBOOT | (to != nullptr ? MOVEFILE_REPLACE_EXISTING : 0))
               ? ERROR_SUCCESS_REBOOT_REQUIRED
               : GetLastError();
}

}  // namespace

bool ReplacementPath(const char* targetPath, char (&newPath)[kPathCapacity])
{
    return CopyPath(newPath, targetPath) && AppendPath(newPath, ".new");
}

DWORD FlushBeforeReplacing(HANDLE newFile, const char* targetPath)
{
    if (GetFileAttributesA(targetPath) == INVALID_FILE_ATTRIBUTES || FlushFileBuffers(newFile))
        return ERROR_SUCCESS;
    return GetLastError();
}

DWORD PutInPlace(const char* newPath, const char* targetPath, InUse inUse)
{
    if (MoveFileExA(newPath, targetPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (inUse == InUse::kAtRestart && IsInUse(error)) {
        DWORD scheduled = AtNextStart(newPath, targetPath);
        if (scheduled == ERROR_SUCCESS_REBOOT_REQUIRED)
            return scheduled;
    }
    DeleteFileA(newPath);
    return error;
}

DWORD RemoveFile(const char* path, InUse inUse)
{
    if (DeleteFileA(path))
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return ERROR_SUCCESS;
    if (inUse == InUse::kAtRestart && IsInUse(error)) {
        DWORD scheduled = AtNextStart(path, nullptr);
        if (scheduled == ERROR_SUCCESS_REBOOT_REQUIRED)
            return scheduled;
    }
    return error;
}
