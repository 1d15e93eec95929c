// Programs that the elevated program starts come from the system's own folders.
//
// Started by a bare name, a program is looked for in the folder the setup
// program was started from and in the current directory before the system
// folders: a Downloads folder, where any program of the user can leave a
// cmd.exe or an MsiExec.exe that would then run with administrator rights.
#pragma once

#include "core/bounded_text.h"

// The system folder (System32), without a trailing backslash.  False when it
// cannot be found whole.
bool GetSystemFolder(char (&folder)[kPathCapacity]);

// The system's Windows folder, without a trailing backslash.  False when it
// cannot be found whole.
bool GetWindowsFolder(char (&folder)[kPathCapacity]);

// The program that `command` (a command line as stored by some installer)
// starts with.  A quoted full path ("C:\...", "\\server\...") is left to the
// platform: `program` is then empty.  An unquoted one is the first part of the
// command that ends in ".exe" before a blank or the end, when that is a file.
// A bare name is looked up in the system folders (System32, then the Windows
// folder), ".exe" added when it has no extension.  False when the command
// names its program by a bare name that is not there, by an unquoted path
// found no such way, or by a path relative to the current directory: it must
// not be started.
bool ResolveCommandProgram(const char* command, char (&program)[kPathCapacity]);
