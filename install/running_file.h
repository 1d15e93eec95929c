// The running program's own file, held open from start-up to the end.
//
// The uninstaller copy is made from the file that runs.  Taken by its path, the
// copy could be someone else's file: a running program's file can be renamed,
// and another file put at its path, by any process of the user who downloaded
// it.  Held open without write or delete sharing, the file can be neither
// renamed nor changed while the program runs, and the copy is read through
// that handle.  (A copy made this way also leaves behind the download's
// Zone.Identifier mark, which a file copy would carry along.)
#pragma once

#include "core/replacement_file.h"

// Opens the running program's file.  Called first thing at start-up; the
// handle stays open until the process ends.
void HoldRunningFile();

// Writes the held file's bytes to targetPath, replacing any file there once the
// copy is complete.  ERROR_SUCCESS, or the Win32 error when no file is held
// (why it could not be opened) or the copy is not complete or cannot take the
// old file's place; a file already at targetPath then stays as it was.
DWORD CopyRunningFile(const char* targetPath, InUse inUse);

// True when the file at path holds exactly the held file's bytes: an earlier
// copy of this very program, fit to be registered as the uninstaller.
bool IsRunningFileCopy(const char* path);
