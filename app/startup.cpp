// Start-up: the program's entry and its choice between installing and uninstalling.
//
// The same file is the setup program and, copied into the install directory as
// Uninstall.exe, the uninstaller.  Without arguments three facts decide what it
// does: whether this very version is registered as installed, whether a newer
// one is, and whether the running file is named Uninstall.exe.  Deployment
// tools add switches (command_line.h) and read the exit code (outcome_report.h).
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include "app/command_line.h"
#include "app/outcome_report.h"
#include "app/setup_log.h"
#include "app/wizard.h"
#include "core/bounded_text.h"
#include "core/platform_paths.h"
#include "core/product.h"
#include "core/registry_text.h"
#include "core/worker_thread.h"
#include "install/running_file.h"
#include "maintenance/uninstall.h"
#include "shell/shortcuts.h"
#include "product_texts.h"
#include "resources/resource.h"

#include <cstring>

namespace {

constexpr std::size_t kCommandLineCapacity = 2048;

constexpr char kUsage[] = "Usage: " SETUP_FILE_NAME_TEXT " [/S | /passive] [/nostartmenu] [/nodesktop] [/currentuser]\n"
                          "    [/log <file>] [/norestart] [/uninstall]\n\n"
                          "/S, /quiet\tnothing shown; installs with the default choices\n"
                          "/passive\tthe progress only; no questions\n"
                          "/nostartmenu, /nodesktop\tno Start Menu or no Desktop shortcut\n"
                          "/currentuser\tshortcuts for the signed-in user only\n"
                          "/log <file>\tappends what each step did to the file (UTF-8)\n"
                          "/norestart\taccepted; setup never restarts the computer\n"
                          "/uninstall\tremoves the installed product\n\n"
                          "Exit codes: 0 done, 3010 done when the computer restarts, 1602 cancelled, 1603 failed, "
                          "112 disk full, 1618 another setup is running, 1638 a newer version is installed, "
                          "87 command line not understood.";

// The installed version: this very one, or one that compares higher.
struct InstalledVersion {
    bool thisVersion = false;
    bool newer = false;
    char text[kVersionCapacity] = {};
};

// Reads the registration.  Compared by numbers: ProductVersionNumber, else the
// leading major.minor of the text, which is all an entry of older setups holds.
InstalledVersion ReadInstalledVersion()
{
    InstalledVersion installed;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return installed;
    bool read = ReadRegistryText(key, "DisplayVersion", installed.text);
    char numberText[64];
    VersionNumber number;
    bool numbered =
        ReadRegistryText(key, "ProductVersionNumber", numberText) && ParseVersionNumber(numberText, 4, true, &number);
    RegCloseKey(key);
    installed.thisVersion = read && std::strcmp(installed.text, ProductVersion) == 0;
    if (!numbered) {
        if (!ParseVersionNumber(installed.text, 2, false, &number))
            return installed;
        VersionNumber ours = {{ProductVersionNumbers().parts[0], ProductVersionNumbers().parts[1]}};
        installed.newer = number.Compare(ours) > 0;
    } else {
        installed.newer = number.Compare(ProductVersionNumbers()) > 0;
    }
    installed.newer = installed.newer && !installed.thisVersion;
    return installed;
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
        FormatBounded(question, sizeof question, "%s is already installed. Do you want to uninstall %s now?", fullName,
                      fullName);
    return MessageBoxA(nullptr, question, SetupTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Asks whether to put this version over a newer one; No is the default.
bool ConfirmDowngrade(const char* installedVersion)
{
    char question[256];
    FormatBounded(question, sizeof question,
                  "A newer version of %s (%s) is installed. Do you want to replace it with %s?", ProductName,
                  installedVersion, ProductVersion);
    return MessageBoxA(nullptr, question, SetupTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Uninstalls, tells the user how it went when someone is there, and returns the exit code.
int Uninstall(bool unattended)
{
    LogLine("uninstalling%s", unattended ? ", unattended" : "");
    UninstallOutcome outcome = UninstallProduct(unattended);
    int exitCode = ReportUninstallOutcome(outcome);
    if (!unattended) {
        if (outcome.Succeeded())
            MessageBoxA(nullptr, UNINSTALLED_MESSAGE_TEXT, SetupTitle, MB_OK | MB_ICONINFORMATION);
        else
            MessageBoxA(nullptr, UNINSTALL_INCOMPLETE_TEXT, SetupTitle, MB_OK | MB_ICONWARNING);
    }
    return exitCode;
}

// Installs with nothing shown.
int InstallQuietly(const InstallOptions& options)
{
    LogLine("installing, unattended");
    InstallOptions unattended = options;
    unattended.unattended = true;
    int exitCode = ReportInstallOutcome(InstallProduct(unattended, InstallProgress()));
    ReportLegacyLeftAlone();
    return exitCode;
}

int RunWizard(HINSTANCE instance, const CommandLine& command)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The shell's libraries load while the first pages are read, not after Install.
    HANDLE preload = StartWorker(PreloadShortcutWork, nullptr);
    WizardRun run;
    run.mode = command.mode;
    run.options = command.options;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WIZARD), nullptr, WizardDialogProc,
                                     reinterpret_cast<LPARAM>(&run));
    JoinWorker(preload);
    return result == -1 ? kExitFailed : run.exitCode;
}

// What the run does, once the command line is read and no other setup runs.
int Run(HINSTANCE instance, const CommandLine& command)
{
    const bool quiet = command.mode == SetupMode::kQuiet;
    const bool attended = command.mode == SetupMode::kInteractive;
    const bool runningAsUninstaller = IsRunningAsUninstaller();
    const InstalledVersion installed = ReadInstalledVersion();
    LogLine("installed: %s", installed.text[0] != '\0' ? installed.text : "nothing");

    if (command.uninstall || (runningAsUninstaller && !attended)) {
        if (attended && !ConfirmUninstall(true))
            return kExitCancelled;
        return Uninstall(!attended);
    }
    if (attended && installed.thisVersion) {
        if (ConfirmUninstall(runningAsUninstaller))
            return Uninstall(false);
        if (runningAsUninstaller)
            return kExitCancelled;
    }
    if (installed.newer && (!attended || !ConfirmDowngrade(installed.text))) {
        LogLine("a newer version is installed: nothing changed");
        return kExitNewerInstalled;
    }
    return quiet ? InstallQuietly(command.options) : RunWizard(instance, command);
}

// The command line after the program's name, in our code page, into text.
// One that does not convert whole is refused.
bool ReadCommandLine(const wchar_t* arguments, char (&text)[kCommandLineCapacity], CommandLine* command)
{
    text[0] = '\0';
    if (arguments[0] != L'\0' && ConvertExactly(arguments, CP_ACP, text, sizeof text) == 0) {
        *command = CommandLine();
        return false;
    }
    return ParseCommandLine(text, command);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int)
{
    // We run elevated, mostly from a Downloads folder where any program of the
    // user can leave a DLL: none may come from our own folder or the current
    // directory, only from the system folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
    HoldRunningFile();

    CommandLine command;
    char text[kCommandLineCapacity];
    const bool understood = ReadCommandLine(arguments, text, &command);
    const bool quiet = command.mode == SetupMode::kQuiet;
    OpenSetupLog(command.logPath);
    LogLine("%s %s, command line: %s", SetupTitle, ProductVersion, text);
    int exitCode = kExitDone;
    if (!understood || command.help) {
        if (!quiet)
            MessageBoxA(nullptr, kUsage, SetupTitle, MB_OK | (understood ? MB_ICONINFORMATION : MB_ICONERROR));
        exitCode = understood ? kExitDone : kExitBadCommandLine;
    } else {
        // One setup of the product at a time, held until the process ends.
        HANDLE mutex = CreateMutexA(nullptr, FALSE, SetupMutexName);
        if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
            if (!quiet)
                MessageBoxA(nullptr,
                            "Another setup of " PRODUCT_NAME_TEXT " is running. Wait until it has "
                            "finished, then try again.",
                            SetupTitle, MB_OK | MB_ICONWARNING);
            exitCode = kExitAnotherSetup;
        } else {
            exitCode = Run(instance, command);
        }
    }
    LogLine("exit code %d", exitCode);
    return exitCode;
}
