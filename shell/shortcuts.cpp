#include "shell/shortcuts.h"

#include "core/application_path.h"
#include "core/bounded_text.h"
#include "core/platform_paths.h"
#include "core/product.h"
#include "shell/user_folders.h"

#include <objbase.h>
#include <cstdint>
#include <shlobj.h>

namespace {

// The Programs or Desktop folder: the common one for all users, otherwise the
// interactive user's own.  The folder is never created here.
bool FindShortcutFolder(int commonCsidl, int userCsidl, bool allUsers, char* folderPath)
{
    if (allUsers)
        return GetSpecialFolder(commonCsidl, folderPath);
    return ResolveInteractiveUserFolder(userCsidl, folderPath);
}

void CreateStartMenuShortcut(bool allUsers)
{
    char linkPath[kPathCapacity] = {};
    if (!FindShortcutFolder(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, allUsers, linkPath))
        return;
    HANDLE userToken = nullptr;
    if (!AppendPath(linkPath, VendorSubdir) ||
        (!allUsers && !BeginInteractiveUserWork(&userToken)))
        return;
    // An existing folder is fine; a missing one makes the save below fail.
    CreateDirectoryA(linkPath, nullptr);
    if (AppendPath(linkPath, ShortcutFileName))
        CreateShellLink(linkPath);
    EndInteractiveUserWork(userToken);
}

void CreateDesktopShortcut(bool allUsers)
{
    char linkPath[kPathCapacity] = {};
    if (!FindShortcutFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, allUsers,
                            linkPath))
        return;
    HANDLE userToken = nullptr;
    if (!AppendPath(linkPath, ShortcutFileName) ||
        (!allUsers && !BeginInteractiveUserWork(&userToken)))
        return;
    CreateShellLink(linkPath);
    EndInteractiveUserWork(userToken);
}

// Which link a thread makes: kDesktopLink or not, with 1 for all users.
constexpr std::uintptr_t kDesktopLink = 2;
constexpr std::uintptr_t kNoLink = 4;

DWORD WINAPI CreateShortcutInApartment(void* choice)
{
    // S_FALSE (already initialised on this thread) still needs its CoUninitialize;
    // a failure (e.g. RPC_E_CHANGED_MODE in a multithreaded apartment) must not get one.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 0;
    const auto link = reinterpret_cast<std::uintptr_t>(choice);
    if (link & kDesktopLink)
        CreateDesktopShortcut(link & 1);
    else
        CreateStartMenuShortcut(link & 1);
    CoUninitialize();
    return 0;
}

}  // namespace

ShortcutWork StartShortcuts(bool startMenu, bool desktop, bool allUsers)
{
    ShortcutWork work = {};
    for (std::uintptr_t link : {startMenu ? allUsers : kNoLink, desktop ? kDesktopLink | allUsers : kNoLink}) {
        if (link == kNoLink)
            continue;
        void* const choice = reinterpret_cast<void*>(link);
        HANDLE& thread = work.threads[link >> 1];
        thread = CreateThread(nullptr, 0, CreateShortcutInApartment, choice, 0, nullptr);
        if (thread == nullptr)
            CreateShortcutInApartment(choice);  // made at once, then
    }
    return work;
}

void FinishShortcuts(const ShortcutWork& work)
{
    for (HANDLE thread : work.threads) {
        if (thread != nullptr) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    }
}

DWORD WINAPI PreloadShortcutWork(void*)
{
    char folder[kPathCapacity];
    GetSpecialFolder(CSIDL_PROGRAM_FILES, folder);  // the shell's library, and below COM's
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        CoUninitialize();
    return 0;
}

bool CreateShellLink(const char* linkPath)
{
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    // Only target and description: everything else keeps the link object's defaults.
    link->SetPath(RememberedApplicationPath());
    link->SetDescription(ProductName);

    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->Release();
        return false;
    }
    // A path that does not convert whole would reach Save unterminated.
    wchar_t widePath[kPathCapacity] = {};
    bool saved = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kPathCapacity) != 0 &&
                 SUCCEEDED(file->Save(widePath, TRUE));
    file->Release();
    link->Release();
    return saved;
}
