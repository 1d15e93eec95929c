#include "tests/support/shell_link.h"

#include <objbase.h>
#include <shlobj.h>

namespace {

bool LoadLink(const std::string& path, ShellLinkInfo& info)
{
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* file = nullptr;
    bool loaded = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t widePath[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
        loaded = SUCCEEDED(file->Load(widePath, STGM_READ));
        file->Release();
    }
    if (loaded) {
        char text[MAX_PATH * 2] = {};
        link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        info.target = text;
        text[0] = '\0';
        link->GetDescription(text, sizeof text);
        info.description = text;
        text[0] = '\0';
        link->GetArguments(text, sizeof text);
        info.arguments = text;
        text[0] = '\0';
        link->GetWorkingDirectory(text, sizeof text);
        info.workingDirectory = text;
        text[0] = '\0';
        int iconIndex = 0;
        link->GetIconLocation(text, sizeof text, &iconIndex);
        info.iconLocation = text;
        link->GetHotkey(&info.hotkey);
        link->GetShowCmd(&info.showCommand);
    }
    link->Release();
    return loaded;
}

}  // namespace

bool ReadShellLink(const std::string& path, ShellLinkInfo& info)
{
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool loaded = LoadLink(path, info);
    if (SUCCEEDED(init))
        CoUninitialize();
    return loaded;
}
