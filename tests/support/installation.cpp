#include "tests/support/installation.h"

#include "tests/support/registry.h"
#include "tests/support/test_paths.h"

#include <windows.h>
#include <objbase.h>
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

ShellLinkInfo ReadShellLink(const std::string& linkPath)
{
    ShellLinkInfo info;
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR widePath[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath, MAX_PATH);
            if (SUCCEEDED(file->Load(widePath, STGM_READ))) {
                char text[MAX_PATH] = {};
                info.loaded = true;
                link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
                info.target = text;
                text[0] = '\0';
                link->GetDescription(text, MAX_PATH);
                info.description = text;
                text[0] = '\0';
                link->GetArguments(text, MAX_PATH);
                info.arguments = text;
                text[0] = '\0';
                link->GetWorkingDirectory(text, MAX_PATH);
                info.workingDirectory = text;
            }
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return info;
}
