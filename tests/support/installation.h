// Where an installation lands in the Wine prefix, and how tests inspect and
// clear it without going through the program under test.
#pragma once

#include <string>

struct InstallationPaths {
    std::string programFiles;    // C:\Program Files
    std::string installDirectory;
    std::string application;
    std::string helpFile;
    std::string uninstaller;
    std::string commonStartMenuFolder;  // ...\Programs\VEK, all users
    std::string userStartMenuFolder;    // ...\Programs\VEK, this user
    std::string commonStartMenuLink;
    std::string userStartMenuLink;
    std::string commonDesktopLink;
    std::string userDesktopLink;
};

// The paths as this prefix resolves them.
InstallationPaths Installation();

// Removes every file, shortcut, folder and registry key an installation makes.
void RemoveInstallationTraces();

// A shell link read back through IShellLinkA and IPersistFile::Load.
struct ShellLinkInfo {
    bool loaded = false;
    std::string target;
    std::string description;
    std::string arguments;
    std::string workingDirectory;
};
ShellLinkInfo ReadShellLink(const std::string& linkPath);

extern const char kUninstallKey[];
