// Paths the platform gives us: the running program's and the shell's folders.
//
// Our paths are 8-bit text in the process's code page, UTF-8 by the manifest,
// in buffers of kPathCapacity bytes.  A path of fewer than 260 characters can
// take more bytes than that in UTF-8, and for such a path the 8-bit calls
// report success with a cut-off path (GetModuleFileNameA) or an unterminated
// buffer (SHGetSpecialFolderPathA).  So these few paths are asked for in
// UTF-16 and converted here, where a path that does not fit is a failure.
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/bounded_text.h"

// Converts UTF-16 text, NUL included, into converted[0..capacity) in codePage
// (CP_ACP: the process's).  The length less the NUL, or 0 when it does not fit
// or the code page cannot spell it exactly: a best-fit letter or a "?" would
// name another file.  That happens for a name outside the ANSI code page on a
// Windows older than 10 1903, which ignores the manifest's UTF-8.
std::size_t ConvertExactly(const wchar_t* text, UINT codePage, char* converted, std::size_t capacity);

// Converts a UTF-16 path into path (kPathCapacity bytes) in the process's code
// page.  False, with path unchanged, when it does not convert exactly or it
// and its NUL do not fit.
bool ConvertWidePath(const wchar_t* widePath, char* path);

// The running program's full path; false, with path empty, when it cannot be had whole.
bool GetRunningProgramPath(char (&path)[kPathCapacity]);

// The shell folder `csidl` of the account we run as, or the common one for a
// common CSIDL, as SHGetSpecialFolderPathA gives it (never created).  False,
// with folderPath unchanged, when it cannot be had whole.
bool GetSpecialFolder(int csidl, char* folderPath);

// True when path names a file, not a folder.
bool IsExistingFile(const char* path);
