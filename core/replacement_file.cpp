#include "core/replacement_file.h"

#include "core/bounded_text.h"

#include <windows.h>

bool ReplacementPath(const char* targetPath, char (&newPath)[kPathCapacity])
{
    return CopyPath(newPath, targetPath) && AppendPath(newPath, ".new");
}

bool PutInPlace(const char* newPath, const char* targetPath)
{
    if (MoveFileExA(newPath, targetPath, MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileA(newPath);
    return false;
}
