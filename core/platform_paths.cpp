#include "core/platform_paths.h"

#include "core/bounded_text.h"

#include <shlobj.h>

std::size_t ConvertExactly(const wchar_t* text, UINT codePage, char* converted, std::size_t capacity)
{
    // Asked for no room, the conversion would only measure.
    if (capacity == 0 || capacity > 0x7FFFFFFF)
        return 0;
    // By number: the flags allowed depend on it, and CP_ACP is not taken for
    // UTF-8 there.  UTF-8 spells everything but a lone surrogate.
    if (codePage == CP_ACP)
        codePage = GetACP();
    bool utf8 = codePage == CP_UTF8;
    BOOL defaulted = FALSE;
    int length = WideCharToMultiByte(codePage, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, text, -1, converted,
                                     int(capacity), nullptr, utf8 ? nullptr : &defaulted);
    return length == 0 || defaulted ? 0 : std::size_t(length) - 1;
}

bool ConvertWidePath(const wchar_t* widePath, char* path)
{
    // Converted into a scratch buffer first: a conversion that does not fit
    // stops part way without a terminator, and must not reach path.
    char converted[kPathCapacity];
    return ConvertExactly(widePath, CP_ACP, converted, kPathCapacity) != 0 && CopyPath(path, kPathCapacity, converted);
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

bool IsExistingFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
