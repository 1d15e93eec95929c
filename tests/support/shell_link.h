// Reading a saved shell link (.lnk) back, as the shell would.
#pragma once

#include <windows.h>

#include <string>

struct ShellLinkInfo {
    std::string target;
    std::string description;
    std::string arguments;
    std::string workingDirectory;
    std::string iconLocation;
    WORD hotkey = 0;
    int showCommand = 0;
};

// Loads the link at `path` through IShellLinkA and IPersistFile::Load; false when
// it cannot be loaded.  Initialises COM on the calling thread for the call.
bool ReadShellLink(const std::string& path, ShellLinkInfo& info);
