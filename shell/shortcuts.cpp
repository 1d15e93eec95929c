#include "shell/shortcuts.h"

#include "core/application_path.h"
#include "core/bounded_text.h"
#include "core/platform_paths.h"
#include "core/product.h"
#include "core/worker_thread.h"
#include "shell/user_folders.h"

#include <objbase.h>
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

// The HRESULT of a failed Win32 call, as the link's own failures are.
HRESULT LastError() { return HRESULT_FROM_WIN32(GetLastError()); }

HRESULT CreateShortcut(const ShortcutChoice& choice)
{
    char linkPath[kPathCapacity] = {};
    bool found = choice.desktop ? FindShortcutFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY,
                                                     choice.allUsers, linkPath)
                                : FindShortcutFolder(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, choice.allUsers, linkPath);
    if (!found)
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    if (!choice.desktop && !AppendPath(linkPath, VendorSubdir))
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    HANDLE userToken = nullptr;
    if (!choice.allUsers && !BeginInteractiveUserWork(&userToken))
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    // An existing folder is fine; a missing one makes the save below fail.
    if (!choice.desktop)
        CreateDirectoryA(linkPath, nullptr);
    HRESULT result = AppendPath(linkPath, ShortcutFileName) ? CreateShellLink(linkPath)
                                                            : HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    EndInteractiveUserWork(userToken);
    return result;
}

DWORD WINAPI CreateShortcutInApartment(void* context)
{
    ShortcutJob& job = *static_cast<ShortcutJob*>(context);
    // S_FALSE (already initialised on this thread) still needs its CoUninitialize;
    // a failure (e.g. RPC_E_CHANGED_MODE in a multithreaded apartment) must not get one.
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result)) {
        result = CreateShortcut(job.choice);
        CoUninitialize();
    }
    job.error = DWORD(result);
    return 0;
}

void StartJob(ShortcutJob& job, bool chosen, ShortcutChoice choice)
{
    job = {};
    job.chosen = chosen;
    job.choice = choice;
    if (chosen)
        job.worker = StartWorker(CreateShortcutInApartment, &job);
}

}  // namespace

void StartShortcuts(ShortcutWork& work, bool startMenu, bool desktop, bool allUsers)
{
    StartJob(work.startMenu, startMenu, {false, allUsers});
    StartJob(work.desktop, desktop, {true, allUsers});
}

void FinishShortcuts(ShortcutWork& work)
{
    for (ShortcutJob* job : {&work.startMenu, &work.desktop}) {
        JoinWorker(job->worker);
        job->worker = nullptr;
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

HRESULT CreateShellLink(const char* linkPath)
{
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      reinterpret_cast<void**>(&link));
    if (FAILED(result))
        return result;
    // Only target and description: everything else keeps the link object's defaults.
    link->SetPath(RememberedApplicationPath());
    link->SetDescription(ProductName);

    IPersistFile* file = nullptr;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(result)) {
        link->Release();
        return result;
    }
    // A path that does not convert whole would reach Save unterminated.
    wchar_t widePath[kPathCapacity] = {};
    result = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kPathCapacity) != 0 ? file->Save(widePath, TRUE)
                                                                                        : LastError();
    file->Release();
    link->Release();
    return result;
}
