// Installed files are replaced, never cut.
//
// A file is written whole under a new name in its own folder and only then put
// in place of the old one, in one rename.  A full disk, a write that fails or a
// file held by another program then leaves the old file exactly as it was, and
// the shortcuts keep starting a working program.
#pragma once

#include <windows.h>

#include "core/bounded_text.h"

// The new file's path beside targetPath: targetPath + ".new".  False when it
// does not fit.
bool ReplacementPath(const char* targetPath, char (&newPath)[kPathCapacity]);

// Puts the complete file newPath in place of targetPath: ERROR_SUCCESS, or the
// Win32 error of the rename (the target is in use, say), after which the new
// file is removed and the target stays as it was.
DWORD PutInPlace(const char* newPath, const char* targetPath);
