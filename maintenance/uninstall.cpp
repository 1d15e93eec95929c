// The uninstall procedure.  Every step is tried whatever became of the ones
// before it; nothing but the final message is shown.
#include "maintenance/uninstall.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/bounded_text.h"
#include "app/platform_paths.h"
#include "app/product.h"
#include "product_texts.h"
#include "maintenance/self_delete_script.h"
#include "maintenance/shutdown.h"
#include "maintenance/system_programs.h"
#include "shell/user_folders.h"

namespace {

// Deletes one file permanently, without any user interface.  True on success.
bool DeleteFileSilently(const char* path)
{
    char from[kPathCapacity + 1] = {};  // a list of one path, ended by two NULs
    if (!CopyPath(from, kPathCapacity, path))
        return false;
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;  // 0x0414, no Recycle Bin
    return SHFileOperationA(&operation) == 0;
}

// Deletes the product's shortcut in folder; the shell hears of it only when it went.
void DeleteShortcut(const char* folder)
{
    char shortcut[kPathCapacity];
    if (!CopyPath(shortcut, folder) || !AppendPath(shortcut, ShortcutFileName))
        return;
    if (DeleteFileSilently(shortcut))
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, shortcut, nullptr);
}

// A Programs folder: the shortcut in its "\VEK" folder, then the folder if now empty.
void RemoveStartMenuEntry(const char* programsFolder)
{
    char vendorFolder[kPathCapacity];
    if (!CopyPath(vendorFolder, programsFolder) || !AppendPath(vendorFolder, VendorSubdir))
        return;
    DeleteShortcut(vendorFolder);
    RemoveDirectoryA(vendorFolder);  // only an empty folder goes
}

// Removes the installed files; true with installDirectory set when the
// Program Files folder was found.
bool RemoveInstalledFiles(char (&installDirectory)[kPathCapacity])
{
    char programFiles[kPathCapacity];
    if (!GetSpecialFolder(CSIDL_PROGRAM_FILES, programFiles))
        return false;
    if (!CopyPath(installDirectory, programFiles) || !AppendPath(installDirectory, InstallSubdir))
        return false;
    char stem[kPathCapacity];
    char file[kPathCapacity];
    if (CopyPath(stem, programFiles) && AppendPath(stem, InstallStem)) {
        if (CopyPath(file, stem) && AppendPath(file, AppExeExtension))
            DeleteFileSilently(file);
        if (CopyPath(file, stem) && AppendPath(file, HelpFileExtension))
            DeleteFileSilently(file);
    }
    return true;
}

void RemoveShortcuts()
{
    char folder[kPathCapacity];
    if (GetSpecialFolder(CSIDL_COMMON_PROGRAMS, folder))
        RemoveStartMenuEntry(folder);
    if (GetSpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY, folder))
        DeleteShortcut(folder);
    // The interactive user's own folders, changed as that user.
    HANDLE userToken = nullptr;
    if (ResolveInteractiveUserFolder(CSIDL_PROGRAMS, folder) &&
        BeginInteractiveUserWork(&userToken)) {
        RemoveStartMenuEntry(folder);
        EndInteractiveUserWork(userToken);
    }
    if (ResolveInteractiveUserFolder(CSIDL_DESKTOPDIRECTORY, folder) &&
        BeginInteractiveUserWork(&userToken)) {
        DeleteShortcut(folder);
        EndInteractiveUserWork(userToken);
    }
}

// The uninstaller copy cannot delete itself while it runs: a detached command
// processor runs a script that deletes it once our process has ended.
void ScheduleUninstallerRemoval(const char* installDirectory)
{
    char uninstaller[kPathCapacity];
    if (!CopyPath(uninstaller, installDirectory) || !AppendPath(uninstaller, UninstallerSuffix))
        return;
    char tempFolder[kPathCapacity];
    DWORD tempLength = GetTempPathA(kPathCapacity, tempFolder);
    if (tempLength == 0 || tempLength >= kPathCapacity)
        return;
    // A cut-off name would be another file; better no script than that.
    char scriptPath[kPathCapacity];
    if (FormatBounded(scriptPath, sizeof scriptPath, "%slvremote_uninstall_%lu.bat", tempFolder,
                      GetCurrentProcessId()) != kFormatOk)
        return;
    if (!WriteSelfDeleteScript(scriptPath, uninstaller))
        return;

    // The system's command processor by its full path, never one lying beside
    // us; /d: without the AutoRun command that the user may set.  /s /c with
    // the quoted script path in one more pair of quotes: the command processor
    // drops the outer pair and keeps the path whole whatever it holds (blanks,
    // "&", "(", "^", ...).  It runs in the system folder, so that the script's
    // ping is not taken from our current directory either.
    char systemFolder[kPathCapacity];
    char commandProcessor[kPathCapacity];
    char commandLine[3 * kPathCapacity];
    if (!GetSystemFolder(systemFolder) || !CopyPath(commandProcessor, systemFolder) ||
        !AppendPath(commandProcessor, "\\cmd.exe") ||
        FormatBounded(commandLine, sizeof commandLine, "\"%s\" /d /s /c \"\"%s\"\"",
                      commandProcessor, scriptPath) != kFormatOk)
        return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    static_assert(sizeof(STARTUPINFOA) == 104, "STARTUPINFOA of a 64-bit process");
    PROCESS_INFORMATION started = {};
    if (CreateProcessA(commandProcessor, commandLine, nullptr, nullptr, FALSE, DETACHED_PROCESS,
                       nullptr, systemFolder, &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}

}  // namespace

void UninstallProduct()
{
    ShutDownRunningInstances();
    char installDirectory[kPathCapacity];
    bool programFilesFound = RemoveInstalledFiles(installDirectory);
    RemoveShortcuts();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKeyPath);
    MessageBoxA(nullptr, UNINSTALLED_MESSAGE_TEXT, SetupTitle,
                MB_OK | MB_ICONINFORMATION);
    if (programFilesFound)
        ScheduleUninstallerRemoval(installDirectory);
}
