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

// Makes the complete file written through newFile durable when it is to take
// the place of a file at targetPath: written through the system's cache to
// the disk, so that a power cut after the rename cannot leave a file of the
// right size that reads as zeros where a working one was.  With no file there
// nothing is lost that worked, and the flush is left out.  ERROR_SUCCESS, or
// the Win32 error of the flush (the new file must then not take the place).
DWORD FlushBeforeReplacing(HANDLE newFile, const char* targetPath);

// What to do when the file to replace or remove is in use by a running program.
enum class InUse {
    kFail,       // leave it as it is and say so
    kAtRestart,  // have the system do it when the machine next starts
};

// Puts the complete file newPath in place of targetPath, the rename written
// through before it returns: ERROR_SUCCESS, or the Win32 error of the rename
// (the target is in use, say), after which the new file is removed and the
// target stays as it was.  A removal of targetPath that an uninstall left for
// the next start is taken back once the new file is there.  With
// InUse::kAtRestart a target in use is replaced when the machine next starts
// instead: ERROR_SUCCESS_REBOOT_REQUIRED, the new file kept beside it until then.
DWORD PutInPlace(const char* newPath, const char* targetPath, InUse inUse = InUse::kFail);

// True when another program holds the file at path so that it cannot be
// replaced now: a running program's image, or a file open without write or
// delete sharing.  Nothing is changed by asking.
bool IsFileInUse(const char* path);

// Deletes path: ERROR_SUCCESS when it is gone or was never there; with
// InUse::kAtRestart a file in use is deleted when the machine next starts
// (ERROR_SUCCESS_REBOOT_REQUIRED); otherwise the Win32 error.
DWORD RemoveFile(const char* path, InUse inUse);
