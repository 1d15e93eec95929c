// The self-delete script: a batch file that removes the uninstaller copy once
// the uninstaller has ended, and then removes itself.
#pragma once

#include <cstddef>

// Room for the script: its fixed text and three paths with every "%" doubled.
constexpr std::size_t kSelfDeleteScriptCapacity = 2048;

// Tries to delete the uninstaller, about a second apart: five minutes.  A
// person may keep the file open for longer (a viewer, a scanner stuck on it);
// the uninstaller has it removed at the next start as well.
constexpr unsigned kSelfDeleteTries = 300;

// Fills script with the nine CRLF lines that delete uninstallerPath (up to
// `tries` times while it is in use, a pause of about a second made by the ping
// program at pingPath between them) and then the script itself, in the code
// page in which the command processor reads it.  Returns the script's length,
// or 0 when it does not fit or that code page cannot spell a path.
std::size_t FormatSelfDeleteScript(char* script, std::size_t capacity, const char* uninstallerPath,
                                   const char* pingPath, unsigned tries = kSelfDeleteTries);

// Writes the script to scriptPath as a new file that only SYSTEM and the
// administrators may change.  A file already at that path is removed first and
// never reused: someone else may have planted it and kept a handle to rewrite
// it before it runs.  False when the new file cannot be created exclusively or
// written whole.
bool WriteSelfDeleteScript(const char* scriptPath, const char* uninstallerPath, const char* pingPath,
                           unsigned tries = kSelfDeleteTries);
