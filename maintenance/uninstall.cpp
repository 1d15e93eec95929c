// The uninstall procedure.  Every step is tried whatever became of the ones
// before it, except that the registration and the uninstaller copy go only
// with the installed files.
#include "maintenance/uninstall.h"

#include <windows.h>
#include <ntsecapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include "core/bounded_text.h"
#include "core/installation_layout.h"
#include "core/platform_paths.h"
#include "core/product.h"
#include "core/replacement_file.h"
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

// Deletes an installed file: ERROR_SUCCESS when it is gone, or was never
// there; otherwise why it stays (in use by a copy whose person kept working,
// or by a viewer).
DWORD RemoveInstalledFile(const char* path, InUse inUse)
{
    if (DeleteFileSilently(path) || !IsExistingFile(path))
        return ERROR_SUCCESS;
    // The shell's operation does not say why: the plain call does.
    return RemoveFile(path, inUse);
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
    if (ResolveInteractiveUserFolder(CSIDL_PROGRAMS, folder) && BeginInteractiveUserWork(&userToken)) {
        RemoveStartMenuEntry(folder);
        EndInteractiveUserWork(userToken);
    }
    if (ResolveInteractiveUserFolder(CSIDL_DESKTOPDIRECTORY, folder) && BeginInteractiveUserWork(&userToken)) {
        DeleteShortcut(folder);
        EndInteractiveUserWork(userToken);
    }
}

// The script's folder: the Windows directory's own temporary folder.  Any user
// may create files there, but none may list it or delete, rename or change a
// file of someone else, so the script stays as written until it has run; the
// user's temporary folder is the user's to change.  The name is random, so
// that nobody can have made it in advance either.
bool FormatScriptPath(char (&scriptPath)[kPathCapacity], const char* windowsFolder)
{
    DWORD random[4];
    return RtlGenRandom(random, sizeof random) &&
           FormatBounded(scriptPath, sizeof scriptPath, "%s\\Temp\\lvremote_uninstall_%08lx%08lx%08lx%08lx.bat",
                         windowsFolder, random[0], random[1], random[2], random[3]) == kFormatOk;
}

// Appends "name=value" and its NUL to an environment block; false when it does
// not fit with the block's final NUL.
bool AppendVariable(char* block, std::size_t capacity, std::size_t& used, const char* name, const char* value)
{
    std::size_t length = lstrlenA(name) + 1 + lstrlenA(value) + 1;
    if (used + length + 1 > capacity || FormatBounded(block + used, capacity - used, "%s=%s", name, value) != kFormatOk)
        return false;
    used += length;
    block[used] = '\0';
    return true;
}

// The uninstaller copy cannot delete itself while it runs: a command processor
// without a window runs a script that deletes it once our process has ended.
// Someone else may hold it open for longer than the script tries: the system
// removes it at the next start too (an installation before then takes that
// back, replacement_file.h).
DWORD ScheduleUninstallerRemoval(const char* uninstaller)
{
    char scriptPath[kPathCapacity];
    char systemFolder[kPathCapacity];
    char windowsFolder[kPathCapacity];
    char commandProcessor[kPathCapacity];
    char ping[kPathCapacity];
    if (!GetWindowsFolder(windowsFolder) || !FormatScriptPath(scriptPath, windowsFolder) ||
        !GetSystemFolder(systemFolder) || !CopyPath(commandProcessor, systemFolder) ||
        !AppendPath(commandProcessor, "\\cmd.exe") || !CopyPath(ping, systemFolder) || !AppendPath(ping, "\\PING.EXE"))
        return ERROR_PATH_NOT_FOUND;

    // The environment, as our own, is partly the user's (HKCU\Environment):
    // the command processor gets one of system values only.
    char environment[3 * kPathCapacity];
    std::size_t used = 0;
    if (!AppendVariable(environment, sizeof environment, used, "PATH", systemFolder) ||
        !AppendVariable(environment, sizeof environment, used, "PATHEXT", ".COM;.EXE") ||
        !AppendVariable(environment, sizeof environment, used, "SystemRoot", windowsFolder))
        return ERROR_BUFFER_OVERFLOW;

    // /d: without the AutoRun command that the user may set; extensions on and
    // delayed expansion off, whatever the user's defaults.  /s /c with the
    // quoted script path in one more pair of quotes: the command processor
    // drops the outer pair and keeps the path whole.  It runs in the system
    // folder, not in our current directory.
    char commandLine[3 * kPathCapacity];
    if (FormatBounded(commandLine, sizeof commandLine, "\"%s\" /d /E:ON /V:OFF /s /c \"\"%s\"\"", commandProcessor,
                      scriptPath) != kFormatOk)
        return ERROR_BUFFER_OVERFLOW;
    MoveFileExA(uninstaller, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!WriteSelfDeleteScript(scriptPath, uninstaller, ping))
        return GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    static_assert(sizeof(STARTUPINFOA) == 104, "STARTUPINFOA of a 64-bit process");
    PROCESS_INFORMATION started = {};
    // A console of its own, never shown: no window flashes up for each pause.
    if (!CreateProcessA(commandProcessor, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, environment,
                        systemFolder, &startup, &started))
        return GetLastError();
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return ERROR_SUCCESS;
}

}  // namespace

UninstallOutcome UninstallProduct(bool unattended)
{
    UninstallOutcome outcome;
    outcome.runningCopies = ShutDownRunningInstances(unattended);
    const InUse inUse = unattended ? InUse::kAtRestart : InUse::kFail;
    InstallationLayout layout;
    bool found = FindInstallationLayout(&layout);
    outcome.programFiles = StepResult(found ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND);
    if (found) {
        // A failure outweighs a removal at the next start, which outweighs one now.
        DWORD application = RemoveInstalledFile(layout.application, inUse);
        DWORD helpFile = RemoveInstalledFile(layout.helpFile, inUse);
        bool applicationFailed = application != ERROR_SUCCESS && application != ERROR_SUCCESS_REBOOT_REQUIRED;
        outcome.files = StepResult(applicationFailed || helpFile == ERROR_SUCCESS ? application : helpFile);
    } else {
        outcome.files = StepResult(ERROR_SUCCESS);  // nothing can be found to remove
    }
    RemoveShortcuts();
    // What is left must stay removable: the entry among the installed programs
    // and Uninstall.exe stay, instead of all being gone while the application
    // lies in Program Files for good.
    if (!outcome.Succeeded())
        return outcome;
    LSTATUS removed = RegDeleteTreeA(HKEY_LOCAL_MACHINE, UninstallKeyPath);
    outcome.registration = StepResult(removed == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(removed));
    if (found)
        outcome.selfDelete = StepResult(ScheduleUninstallerRemoval(layout.uninstaller));
    return outcome;
}
