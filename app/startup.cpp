// Start-up: the program's entry and its choice between installing and uninstalling.
//
// The same file is the setup program and, copied into the install directory as
// Uninstall.exe, the uninstaller.  Two facts decide what it does: whether this
// very version is registered as installed, and whether the running file is
// named Uninstall.exe.  The command line is ignored and the exit code is 0.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include "core/bounded_text.h"
#include "core/platform_paths.h"
#include "core/product.h"
#include "core/registry_text.h"
#include "core/worker_thread.h"
#include "app/wizard.h"
#include "install/running_file.h"
#include "maintenance/uninstall.h"
#include "shell/shortcuts.h"
#include "product_texts.h"
#include "resources/resource.h"

#include <cstring>

namespace {

// True when the uninstall registration names exactly this version.
bool IsThisVersionInstalled()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char version[kVersionCapacity];
    bool read = ReadRegistryText(key, "DisplayVersion", version);
    RegCloseKey(key);
    return read && std::strcmp(version, ProductVersion) == 0;
}

bool IsRunningAsUninstaller()
{
    char modulePath[kPathCapacity];
    GetRunningProgramPath(modulePath);
    return lstrcmpiA(PathFindFileNameA(modulePath), UninstallerName) == 0;
}

// Asks whether to uninstall this version; true on Yes.
bool ConfirmUninstall(bool runningAsUninstaller)
{
    char fullName[64];
    FormatBounded(fullName, sizeof fullName, "%s %s", ProductName, ProductVersion);
    char question[256];
    if (runningAsUninstaller)
        FormatBounded(question, sizeof question, "Do you want to uninstall %s now?", fullName);
    else
        FormatBounded(question, sizeof question,
                      "%s is already installed. Do you want to uninstall %s now?", fullName,
                      fullName);
    return MessageBoxA(nullptr, question, SetupTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Uninstalls and tells the user how it went.
void UninstallAndTell()
{
    if (UninstallProduct().Succeeded())
        MessageBoxA(nullptr, UNINSTALLED_MESSAGE_TEXT, SetupTitle, MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(nullptr, UNINSTALL_INCOMPLETE_TEXT, SetupTitle, MB_OK | MB_ICONWARNING);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // We run elevated, mostly from a Downloads folder where any program of the
    // user can leave a DLL: none may come from our own folder or the current
    // directory, only from the system folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
    HoldRunningFile();

    if (IsThisVersionInstalled()) {
        bool runningAsUninstaller = IsRunningAsUninstaller();
        if (ConfirmUninstall(runningAsUninstaller)) {
            UninstallAndTell();
            return 0;
        }
        if (runningAsUninstaller)
            return 0;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The shell's libraries load while the first pages are read, not after Install.
    HANDLE preload = StartWorker(PreloadShortcutWork, nullptr);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WIZARD), nullptr, WizardDialogProc, 0);
    JoinWorker(preload);
    return 0;
}
