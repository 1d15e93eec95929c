#include "core/replacement_file.h"

#include <cstring>

namespace {

// The errors of a file at `path` that a running program holds: as the image
// of a process (Windows says access denied), or open without sharing.  Access
// is denied for a folder or a read-only file too, which no restart mends.
bool IsInUse(DWORD error, const char* path)
{
    if (error == ERROR_ACCESS_DENIED) {
        DWORD attributes = GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
    }
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

// A move of `from` to `to` (null: its removal) that failed with `error`, put
// on the system's list of renames carried out at the next start when the file
// in the way is in use and `inUse` wants that; only administrators may add to
// the list, as we run.  ERROR_SUCCESS_REBOOT_REQUIRED once it is there,
// otherwise `error`.
DWORD AtNextStartWhenInUse(DWORD error, InUse inUse, const char* from, const char* to)
{
    if (inUse != InUse::kAtRestart || !IsInUse(error, to != nullptr ? to : from) ||
        !MoveFileExA(from, to, MOVEFILE_DELAY_UNTIL_REBOOT | (to != nullptr ? MOVEFILE_REPLACE_EXISTING : 0)))
        return error;
    return ERROR_SUCCESS_REBOOT_REQUIRED;
}

// The system's list of renames at the next start: pairs of NT paths, source
// and destination, an empty destination for a removal.
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// Strikes the removals of path at the next start from the system's list: an
// uninstall leaves one for its Uninstall.exe, which would take the file just
// put there with it.  A list that cannot be read or written whole stays as it is.
void ForgetRemovalAtNextStart(const char* path)
{
    wchar_t source[4 + kPathCapacity] = L"\\??\\";
    HKEY key;
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, source + 4, kPathCapacity) == 0 ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0;
    DWORD size = 0;
    wchar_t* list = nullptr;
    // Three zeroed characters past the value end any string it leaves
    // unterminated, the pair's destination and the list.
    if (RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ && size > 0 &&
        (list = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 3 * sizeof(wchar_t)))) &&
        RegQueryValueExW(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(list), &size) == ERROR_SUCCESS) {
        // The pairs kept move down, in order, over those struck.
        const wchar_t* end = list + size / sizeof(wchar_t);
        wchar_t* kept = list;
        bool struck = false;
        for (const wchar_t* pair = list; pair < end && *pair != L'\0';) {
            const wchar_t* destination = pair + lstrlenW(pair) + 1;
            const wchar_t* next = destination + lstrlenW(destination) + 1;
            if (destination[0] == L'\0' && CompareStringOrdinal(pair, -1, source, -1, TRUE) == CSTR_EQUAL) {
                struck = true;
            } else {
                std::memmove(kept, pair, std::size_t(next - pair) * sizeof(wchar_t));
                kept += next - pair;
            }
            pair = next;
        }
        *kept = L'\0';
        if (struck && kept == list)
            RegDeleteValueW(key, kPendingRenames);
        else if (struck)
            RegSetValueExW(key, kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list),
                           DWORD(kept + 1 - list) * sizeof(wchar_t));
    }
    if (list != nullptr)
        HeapFree(GetProcessHeap(), 0, list);
    RegCloseKey(key);
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
    if (MoveFileExA(newPath, targetPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ForgetRemovalAtNextStart(targetPath);
        return ERROR_SUCCESS;
    }
    const DWORD error = AtNextStartWhenInUse(GetLastError(), inUse, newPath, targetPath);
    if (error != ERROR_SUCCESS_REBOOT_REQUIRED)
        DeleteFileA(newPath);
    return error;
}

bool IsFileInUse(const char* path)
{
    // Opened as the replacement needs it, sharing everything ourselves: the
    // system refuses write access to a running image, and any access another
    // handle does not share.
    HANDLE file = CreateFileA(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION || GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(file);
    return false;
}

DWORD RemoveFile(const char* path, InUse inUse)
{
    if (DeleteFileA(path))
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return ERROR_SUCCESS;
    return AtNextStartWhenInUse(error, inUse, path, nullptr);
}
