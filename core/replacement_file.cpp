#include "core/replacement_file.h"

bool ReplacementPath(const char* targetPath, char (&newPath)[kPathCapacity])
{
    return CopyPath(newPath, targetPath) && AppendPath(newPath, ".new");
}

DWORD PutInPlace(const char* newPath, const char* targetPath)
{
    if (MoveFileExA(newPath, targetPath, MOVEFILE_REPLACE_EXISTING))
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    DeleteFileA(newPath);
    return error;
}
