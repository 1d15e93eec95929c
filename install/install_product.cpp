// The installation: what the wizard's Install button does.
//
// Steps run in a fixed order, the shortcuts beside the steps after the
// application, and most of them go on after an earlier one failed; only the
// two payload extractions decide the result.  Nothing is rolled back.
#include "install/install_product.h"

#include "core/application_path.h"
#include "core/bounded_text.h"
#include "core/platform_paths.h"
#include "core/product.h"
#include "install/installed_size.h"
#include "install/running_file.h"
#include "install/uninstall_registration.h"
#include "maintenance/shutdown.h"
#include "payload/extract.h"
#include "resources/resource.h"
#include "shell/shortcuts.h"

#include <commctrl.h>
#include <shlobj.h>

namespace {

bool IsChecked(HWND wizard, int controlId)
{
    return IsDlgButtonChecked(wizard, controlId) == BST_CHECKED;
}

// Size of the file at path in KiB, 0 when it cannot be measured.
std::uint32_t FileSizeInKiB(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path[0] == '\0' || !GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return 0;
    return SizeInKiB((std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// Everything after the Program Files folder is known; `pathStem` holds it on entry.
bool InstallInto(HWND wizard, char (&pathStem)[kPathCapacity])
{
    char installDirectory[kPathCapacity];
    char appPath[kPathCapacity];
    if (!CopyPath(installDirectory, pathStem) || !AppendPath(installDirectory, InstallSubdir) ||
        !AppendPath(pathStem, InstallStem) || !CopyPath(appPath, pathStem) ||
        !AppendPath(appPath, AppExeExtension))
        return false;

    if (GetFileAttributesA(installDirectory) == INVALID_FILE_ATTRIBUTES)
        SHCreateDirectoryExA(nullptr, installDirectory, nullptr);

    if (!ExtractPayloadEntry(0, appPath))
        return false;
    // The shortcuts below point at the remembered path, so it is set first.
    RememberApplicationPath(appPath);

    // From here on the result is fixed; the steps below run whatever it is.
    // The shortcuts are made meanwhile.
    ShortcutWork shortcuts = StartShortcuts(IsChecked(wizard, IDC_START_MENU), IsChecked(wizard, IDC_DESKTOP),
                                            IsChecked(wizard, IDC_ALL_USERS));
    char helpPath[kPathCapacity] = {};
    bool helpPathBuilt = CopyPath(helpPath, pathStem) && AppendPath(helpPath, HelpFileExtension);
    if (!helpPathBuilt)
        helpPath[0] = '\0';
    bool result = helpPathBuilt && ExtractPayloadEntry(1, helpPath);

    // Copied from the file that runs, whatever lies at its path by now and
    // however long that path is in our code page.  A copy that fails keeps the
    // Uninstall.exe already there, which is registered only when it is this
    // very program: another version's asks for its own version at start-up,
    // and would open its wizard instead of uninstalling this one.
    char uninstallerPath[kPathCapacity];
    bool inPlace = CopyPath(uninstallerPath, installDirectory) &&
                   AppendPath(uninstallerPath, UninstallerSuffix) &&
                   (CopyRunningFile(uninstallerPath) || IsRunningFileCopy(uninstallerPath));
    // Without one nothing is registered to run: the running program's own path
    // is usually in a folder of the user's, who could put anything there.
    const char* uninstallCommand = inPlace ? uninstallerPath : nullptr;

    std::uint32_t sizeKiB = FileSizeInKiB(RememberedApplicationPath()) + FileSizeInKiB(helpPath) +
                            (inPlace ? FileSizeInKiB(uninstallerPath) : 0);
    WriteUninstallRegistration(uninstallCommand, sizeKiB);
    FinishShortcuts(shortcuts);
    return result;
}

}  // namespace

bool InstallProduct(HWND wizard)
{
    ShutDownRunningInstances();

    bool result = false;
    char pathStem[kPathCapacity];  // the Program Files folder, then extended in place
    if (GetSpecialFolder(CSIDL_PROGRAM_FILES, pathStem))
        result = InstallInto(wizard, pathStem);

    // Posted, not sent: the bar fills once the wizard's message loop runs again.
    PostMessageA(GetDlgItem(wizard, IDC_PROGRESS), PBM_SETPOS, 100, 0);
    return result;
}
