#include "app/platform_paths.h"

#include "app/bounded_text.h"

#include <shlobj.h>

bool ConvertWidePath(const wchar_t* widePath, char* path)
{
    // Converted into a scratch buffer first: a conversion that does not fit
    // stops part way without a terminator, and must not reach path.
    char converted[kPathCapacity];
    if (WideCharToMultiByte(CP_ACP, 0, widePath, -1, converted, kPathCapacity, nullptr, nullptr) == 0)
        return false;
    return CopyPath(path, kPathCapacity, converted);
}

bool GetRunningProgramPath(char (&path)[kPathCapacity])
{
    path[0] = '\0';
    wchar_t widePath[kPathCapacity];
    DWORD length = GetModuleFileNameW(nullptr, widePath, kPathCapacity);
    return length > 0 && length < kPathCapacity && ConvertWidePath(widePath, path);
}

bool GetSpecialFolder(int csidl, char* folderPath)
{
    wchar_t widePath[kPathCapacity] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, widePath)) &&
           ConvertWidePath(widePath, folderPath);
}
