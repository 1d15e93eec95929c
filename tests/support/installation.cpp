#include "tests/support/installation.h"

#include "tests/support/registry.h"
#include "tests/support/test_paths.h"

#include <windows.h>
#include <shlobj.h>

const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEK_LumovaraRemote";

namespace {

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

}  // namespace

InstallationPaths Installation()
{
    InstallationPaths paths;
    paths.programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    paths.installDirectory = paths.programFiles + "\\VEK\\LumovaraRemote";
    paths.application = paths.installDirectory + "\\LumovaraRemote.exe";
    paths.helpFile = paths.installDirectory + "\\LumovaraRemote.chm";
    paths.uninstaller = paths.installDirectory + "\\Uninstall.exe";
    paths.commonStartMenuFolder = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\VEK";
    paths.userStartMenuFolder = ShellFolder(CSIDL_PROGRAMS) + "\\VEK";
    const char* link = "\\VEK Lumovara Remote.lnk";
    paths.commonStartMenuLink = paths.commonStartMenuFolder + link;
    paths.userStartMenuLink = paths.userStartMenuFolder + link;
    paths.commonDesktopLink = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + link;
    paths.userDesktopLink = ShellFolder(CSIDL_DESKTOPDIRECTORY) + link;
    return paths;
}

void RemoveInstallationTraces()
{
    InstallationPaths paths = Installation();
    RemoveTree(paths.programFiles + "\\VEK");
    RemoveTree(paths.commonStartMenuFolder);
    RemoveTree(paths.userStartMenuFolder);
    DeleteFileA(paths.commonDesktopLink.c_str());
    DeleteFileA(paths.userDesktopLink.c_str());
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey);
}
